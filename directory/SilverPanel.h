#pragma once

#include <QWidget>

namespace vocalyn::directory {

// The light silver background of the directory windows, shaded from white at the top to
// RGB(222, 224, 218) at the bottom. Pressing any mouse button on it emits mousePressed, by which
// the borderless windows are dragged.
class SilverPanel : public QWidget {
    Q_OBJECT
public:
    explicit SilverPanel(QWidget* parent = nullptr);

signals:
    void mousePressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace vocalyn::directory
