#include "video/PreviewWidget.h"

#include <QPainter>

namespace vocalyn::video {

PreviewWidget::PreviewWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Clicks fall through to the panel beneath, as on a plain picture.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void PreviewWidget::setStretch(bool stretch) {
    stretch_ = stretch;
    update();
}

void PreviewWidget::showFrame(QImage frame) {
    frame_ = std::move(frame);
    update();
}

void PreviewWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (frame_.isNull())
        return;
    if (stretch_) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), frame_);
    } else {
        painter.drawImage(QPoint(0, 0), frame_);
    }
}

} // namespace vocalyn::video
