#include "widgets/SilverPanel.h"

#include "widgets/DrawGradient.h"

#include <QMouseEvent>
#include <QPainter>

namespace vocalyn {

SilverPanel::SilverPanel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SilverPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Two colours, so the painter has nothing to throw.
    DrawGradient(painter, GradientRect{0, 0, width(), height()}, false,
                 {QColor(Qt::white), QColor(222, 224, 218)});
}

void SilverPanel::mousePressEvent(QMouseEvent* event) {
    event->accept();
    emit MousePressed();
}

} // namespace vocalyn
