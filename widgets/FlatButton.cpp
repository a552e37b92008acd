#include "widgets/FlatButton.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOption>

namespace vocalyn {

FlatButton::FlatButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void FlatButton::setPicture(const QPixmap& picture) {
    picture_ = picture;
    devicePicture_ = QPixmap();
    update();
}

void FlatButton::setCaptionColor(const QColor& color) {
    captionColor_ = color;
    update();
}

void FlatButton::setCheckedCaption(const QString& caption) {
    checkedCaption_ = caption;
    setCheckable(true);
    setChecked(text() == caption);
}

void FlatButton::setText(const QString& text) {
    QAbstractButton::setText(text);
    // setChecked tells assistive technology when the state flips.
    if (isCheckable() && !checkedCaption_.isEmpty())
        setChecked(text == checkedCaption_);
}

void FlatButton::nextCheckState() {
    if (checkedCaption_.isEmpty())
        QAbstractButton::nextCheckState();
}

QSize FlatButton::sizeHint() const {
    if (!picture_.isNull())
        return picture_.deviceIndependentSize().toSize() + QSize(8, 8);
    return fontMetrics().size(Qt::TextSingleLine, text()) + QSize(10, 8);
}

void FlatButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void FlatButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void FlatButton::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !event->isAutoRepeat()) {
        click();
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

const QPixmap& FlatButton::DevicePicture(const QSize& logical, qreal devicePixelRatio) {
    const QSize pixels = (QSizeF(logical) * devicePixelRatio).toSize();
    const bool disabled = !isEnabled();
    if (!devicePicture_.isNull() && devicePicture_.size() == pixels &&
        devicePicture_.devicePixelRatio() == devicePixelRatio && devicePictureDisabled_ == disabled)
        return devicePicture_;
    // Smooth scaling averages every source pixel when shrinking, so a picture drawn at three
    // times its size stays sharp at any ratio up to that.
    QPixmap scaled = picture_.size() == pixels
                         ? picture_
                         : picture_.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (disabled) {
        QStyleOption option;
        option.initFrom(this);
        scaled = style()->generatedIconPixmap(QIcon::Disabled, scaled, &option);
    }
    scaled.setDevicePixelRatio(devicePixelRatio);
    devicePicture_ = scaled;
    devicePictureDisabled_ = disabled;
    return devicePicture_;
}

void FlatButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (isEnabled() && (isDown() || hovered_)) {
        QPainterPath path;
        path.addRoundedRect(area, 6, 6);
        p.fillPath(path, QColor(255, 255, 255, isDown() ? 70 : 35));
        p.setPen(QColor(255, 255, 255, 90));
        p.drawPath(path);
    }
    const QPoint shift = isDown() ? QPoint(1, 1) : QPoint();
    if (!picture_.isNull()) {
        const QSize natural = picture_.deviceIndependentSize().toSize();
        const QSize room = size().shrunkBy(QMargins(2, 2, 2, 2));
        // Shrink to fit, never stretch, and keep the picture's proportions.
        const QSize fitted = natural.boundedTo(room) == natural
                                 ? natural
                                 : natural.scaled(room, Qt::KeepAspectRatio);
        QRect target(QPoint(), fitted);
        target.moveCenter(rect().center() + shift);
        // The device's own pixels, not the logical ones: at 150 % a 56 pixel picture covers 84.
        p.drawPixmap(target.topLeft(), DevicePicture(fitted, p.deviceTransform().m11()));
    }
    if (!text().isEmpty()) {
        p.setFont(font());
        p.setPen(isEnabled() ? captionColor_ : captionColor_.darker(200));
        p.drawText(rect().translated(shift), Qt::AlignCenter, text());
    }
    if (hasFocus()) {
        // The keyboard's place must show on the dark window: a solid ring, not the faint hover
        // line.
        QPainterPath ring;
        ring.addRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
        p.setPen(QPen(kFocusRing, 2));
        p.drawPath(ring);
    }
}

} // namespace vocalyn
