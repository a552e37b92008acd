#include "widgets/RoundRegion.h"

#include <QList>
#include <QRect>

#include <algorithm>
#include <cmath>

namespace vocalyn {

QRegion RoundRectRegion(int left, int top, int right, int bottom, int ellipseWidth,
                        int ellipseHeight) {
    const int width = right - left;
    const int height = bottom - top;
    if (width <= 0 || height <= 0)
        return {};
    const double a = std::min(ellipseWidth, width) / 2.0;
    const double b = std::min(ellipseHeight, height) / 2.0;

    // One span per pixel row: rows within a corner's height are inset by the
    // ellipse, measured at the row's centre.
    QList<QRect> rows;
    rows.reserve(height);
    for (int y = 0; y < height; ++y) {
        const double centre = y + 0.5;
        const double dy =
            centre < b ? b - centre : (centre > height - b ? centre - (height - b) : 0);
        double inset = 0;
        if (dy > 0 && b > 0) {
            const double ratio = std::min(1.0, dy / b);
            inset = a - a * std::sqrt(1.0 - ratio * ratio);
        }
        const int cut = static_cast<int>(std::lround(inset));
        if (width - 2 * cut > 0)
            rows.append(QRect(left + cut, top + y, width - 2 * cut, 1));
    }
    QRegion region;
    region.setRects(rows.constData(), static_cast<int>(rows.size()));
    return region;
}

} // namespace vocalyn
