#include "widgets/CaptionPanel.h"

#include <QPainter>

namespace vocalyn {

CaptionPanel::CaptionPanel(QWidget* parent) : QWidget(parent) {}

void CaptionPanel::setCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void CaptionPanel::setBackground(const QColor& color) {
    background_ = color;
    update();
}

void CaptionPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), background_);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(rect(), Qt::AlignCenter, caption_);
}

} // namespace vocalyn
