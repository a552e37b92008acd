#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace vocalyn {

// A frameless button showing a picture and/or a caption; it lights up under
// the mouse and greys out its picture when disabled.
class FlatButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit FlatButton(QWidget* parent = nullptr);

    void setPicture(const QPixmap& picture);
    void setCaptionColor(const QColor& color);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPixmap picture_;
    QColor captionColor_{Qt::yellow};
    bool hovered_ = false;
};

} // namespace vocalyn
