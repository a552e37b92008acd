#include "directory/BrowserPictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace vocalyn::directory {

QPixmap BusyFrame(int index) {
    const int head = ((index % kBusyFrameCount) + kBusyFrameCount) % kBusyFrameCount;
    QPixmap frame(kBusyFrameSize, kBusyFrameSize);
    frame.fill(Qt::white);
    QPainter painter(&frame);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QPointF centre(kBusyFrameSize / 2.0, kBusyFrameSize / 2.0);
    for (int dot = 0; dot < kBusyFrameCount; ++dot) {
        // Dots behind the head fade out, so the ring seems to turn clockwise.
        const int behind = (head - dot + kBusyFrameCount) % kBusyFrameCount;
        const int alpha = 40 + (215 * (kBusyFrameCount - behind)) / kBusyFrameCount;
        painter.setBrush(QColor(0, 128, 192, alpha));
        const double angle = qDegreesToRadians(30.0 * dot - 90.0);
        const QPointF at = centre + QPointF(std::cos(angle), std::sin(angle)) * 11.5;
        const double radius = behind == 0 ? 3.2 : 2.6;
        painter.drawEllipse(at, radius, radius);
    }
    return frame;
}

QPixmap RefreshPicture() {
    // Drawn at three times its 16 x 16 size, so that the button can show it sharp when scaled.
    QPixmap picture(48, 48);
    picture.setDevicePixelRatio(3);
    picture.fill(QColor(204, 0, 0));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::white);
    // Upper arrow to the right, lower arrow to the left.
    painter.drawLine(QPointF(3, 5.5), QPointF(11, 5.5));
    painter.drawPolygon(QPolygonF{QPointF(10, 2.5), QPointF(13.5, 5.5), QPointF(10, 8.5)});
    painter.drawLine(QPointF(5, 10.5), QPointF(13, 10.5));
    painter.drawPolygon(QPolygonF{QPointF(6, 7.5), QPointF(2.5, 10.5), QPointF(6, 13.5)});
    return picture;
}

} // namespace vocalyn::directory
