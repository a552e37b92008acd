#include "widgets/RoundedPanel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace vocalyn {

RoundedPanel::RoundedPanel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void RoundedPanel::setCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void RoundedPanel::setCaptionColor(const QColor& color) {
    captionColor_ = color;
    update();
}

void RoundedPanel::setCaptionFont(const QFont& font) {
    captionFont_ = font;
    update();
}

void RoundedPanel::setCornerWidth(int width) {
    cornerWidth_ = width;
    update();
}

void RoundedPanel::setBorder(int width, const QColor& color) {
    borderWidth_ = width;
    borderColor_ = color;
    update();
}

void RoundedPanel::setBackground(const QColor& color) {
    background_ = color;
    update();
}

void RoundedPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal radius = cornerWidth_ / 2.0;
    const QRectF outer = QRectF(rect());
    QPainterPath outerPath;
    outerPath.addRoundedRect(outer, radius, radius);
    p.fillPath(outerPath, borderWidth_ > 0 ? borderColor_ : background_);
    if (borderWidth_ > 0) {
        const QRectF inner =
            outer.adjusted(borderWidth_, borderWidth_, -borderWidth_, -borderWidth_);
        const qreal innerRadius = qMax<qreal>(0, radius - borderWidth_);
        QPainterPath innerPath;
        innerPath.addRoundedRect(inner, innerRadius, innerRadius);
        p.fillPath(innerPath, background_);
    }
    if (!caption_.isEmpty()) {
        p.setFont(captionFont_);
        p.setPen(captionColor_);
        const int inset = borderWidth_ + 8;
        p.drawText(QRect(inset, borderWidth_ + 1, width() - 2 * inset,
                         QFontMetrics(captionFont_).height()),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, caption_);
    }
}

void RoundedPanel::mousePressEvent(QMouseEvent* event) {
    event->accept();
    emit MousePressed();
}

} // namespace vocalyn
