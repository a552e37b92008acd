#include "widgets/FlatButton.h"

#include <QIcon>
#include <QPainter>
#include <QPainterPath>

namespace vocalyn {

FlatButton::FlatButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void FlatButton::setPicture(const QPixmap& picture) {
    picture_ = picture;
    update();
}

void FlatButton::setCaptionColor(const QColor& color) {
    captionColor_ = color;
    update();
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

void FlatButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (isEnabled() && (isDown() || hovered_ || hasFocus())) {
        QPainterPath path;
        path.addRoundedRect(area, 6, 6);
        if (isDown() || hovered_)
            p.fillPath(path, QColor(255, 255, 255, isDown() ? 70 : 35));
        p.setPen(QColor(255, 255, 255, 90));
        p.drawPath(path);
    }
    const QPoint shift = isDown() ? QPoint(1, 1) : QPoint();
    if (!picture_.isNull()) {
        const QPixmap shown =
            isEnabled() ? picture_ : QIcon(picture_).pixmap(picture_.size(), QIcon::Disabled);
        const QSize natural = picture_.deviceIndependentSize().toSize();
        const QSize room = size().shrunkBy(QMargins(2, 2, 2, 2));
        // Shrink to fit, never stretch, and keep the picture's proportions.
        const QSize fitted = natural.boundedTo(room) == natural
                                 ? natural
                                 : natural.scaled(room, Qt::KeepAspectRatio);
        QRect target(QPoint(), fitted);
        target.moveCenter(rect().center() + shift);
        p.drawPixmap(target, shown);
    }
    if (!text().isEmpty()) {
        p.setFont(font());
        p.setPen(isEnabled() ? captionColor_ : captionColor_.darker(200));
        p.drawText(rect().translated(shift), Qt::AlignCenter, text());
    }
}

} // namespace vocalyn
