#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace vocalyn {

// A frameless button showing a picture and/or a caption; it lights up under
// the mouse, greys out its picture when disabled and rings itself while it
// has the keyboard focus. Enter presses it as Space does.
class FlatButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit FlatButton(QWidget* parent = nullptr);

    // A picture with a device pixel ratio above 1 (a file named "name@3x.png")
    // keeps its logical size and is drawn from its full detail on dense screens.
    void setPicture(const QPixmap& picture);
    void setCaptionColor(const QColor& color);
    QSize sizeHint() const override;

    // Makes the button a toggle for assistive technology: checked while its
    // caption is `caption`. A click does not flip the state; the handler that
    // changes the caption does.
    void setCheckedCaption(const QString& caption);
    // Hides QAbstractButton::setText (not virtual) so that the toggle state
    // follows the caption, and screen readers hear of the change.
    void setText(const QString& text);

    static inline const QColor kFocusRing{110, 200, 255};

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void nextCheckState() override;

private:
    // The picture at the painter's device resolution, scaled once per size.
    const QPixmap& DevicePicture(const QSize& logical, qreal devicePixelRatio);

    QPixmap picture_;
    QPixmap devicePicture_;
    bool devicePictureDisabled_ = false;
    QColor captionColor_{Qt::yellow};
    QString checkedCaption_;
    bool hovered_ = false;
};

} // namespace vocalyn
