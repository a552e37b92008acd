#pragma once

#include <QWidget>

namespace vocalyn {

// The light silver background of the borderless dialogs, shaded from white at the top to
// RGB(222, 224, 218) at the bottom. Pressing any mouse button on it emits MousePressed, by which
// the dialog is dragged.
class SilverPanel : public QWidget {
    Q_OBJECT
public:
    explicit SilverPanel(QWidget* parent = nullptr);

signals:
    void MousePressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace vocalyn
