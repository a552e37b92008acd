#include "widgets/ScaledDraw.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <type_traits>

namespace vocalyn {

namespace {

constexpr int kBandRows = 64;

template <typename Picture>
void DrawInBands(QPainter& painter, const QRect& target, const Picture& picture,
                 const QRect& area) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // The bands are rows of the painted surface, whatever the painter's transform.
    const QRect device = painter.transform().mapRect(target & area);
    const QTransform transform = painter.transform();
    for (int top = device.top(); top <= device.bottom(); top += kBandRows) {
        painter.resetTransform();
        painter.setClipRect(QRect(device.left(), top, device.width(), kBandRows) & device);
        painter.setTransform(transform);
        if constexpr (std::is_same_v<Picture, QPixmap>)
            painter.drawPixmap(target, picture);
        else
            painter.drawImage(target, picture);
    }
    painter.setClipping(false);
}

} // namespace

void DrawScaled(QPainter& painter, const QRect& target, const QPixmap& picture, const QRect& area) {
    DrawInBands(painter, target, picture, area);
}

void DrawScaled(QPainter& painter, const QRect& target, const QImage& picture, const QRect& area) {
    DrawInBands(painter, target, picture, area);
}

} // namespace vocalyn
