#include "video/capture/PreviewWidget.h"

#include "widgets/ScaledDraw.h"

#include <QColor>
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

void PreviewWidget::ShowFrame(QImage frame, bool bottomUp) {
    frame_ = std::move(frame);
    bottomUp_ = bottomUp;
    update();
}

bool PreviewWidget::Seen() const {
    return isVisible() && !window()->isMinimized();
}

void PreviewWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (frame_.isNull() || !stretch_)
        painter.fillRect(rect(), Qt::black); // else the picture covers it all
    if (frame_.isNull()) {
        // Until a camera delivers, say so rather than show an empty black box.
        painter.setPen(QColor(0, 128, 192));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, tr("No camera picture"));
        return;
    }
    const QRect target = stretch_ ? rect() : frame_.rect();
    if (target.size() == frame_.size() && !bottomUp_) {
        painter.drawImage(QPoint(0, 0), frame_); // a copy, where any transform would resample
        return;
    }
    if (bottomUp_) {
        painter.translate(0, target.height());
        painter.scale(1, -1);
    }
    if (stretch_)
        DrawScaled(painter, target, frame_, target);
    else
        painter.drawImage(QPoint(0, 0), frame_);
}

} // namespace vocalyn::video
