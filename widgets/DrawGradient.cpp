#include "widgets/DrawGradient.h"

#include "base/Error.h"

#include <QPainter>

#include <cmath>

namespace vocalyn {

namespace {

int Component(int from, int to, double t) {
    return static_cast<int>(std::trunc(from + (to - from) * t));
}

} // namespace

void DrawGradient(QPainter& canvas, const GradientRect& rect, bool direction,
                  const QList<QColor>& colours) {
    if (colours.size() < 2)
        throw Error(QStringLiteral("Please specify at least two colors."));

    const int extent = direction ? rect.Right - rect.Left : rect.Bottom - rect.Top;
    const int bands = static_cast<int>(colours.size()) - 1;
    // lrint rounds a half to the even neighbour in the default rounding mode.
    const int bandSize = static_cast<int>(std::lrint(static_cast<double>(extent) / bands));

    canvas.save();
    for (int i = 0; i < bands; ++i) {
        const int length = (i == bands - 1) ? extent - i * bandSize - 1 : bandSize;
        if (length < 0)
            continue;
        const QColor from = colours[i].toRgb();
        const QColor to = colours[i + 1].toRgb();
        for (int j = 0; j <= length; ++j) {
            // A band of length 0 is a single line; it takes the colour that ends the band.
            const double t = length == 0 ? 1.0 : static_cast<double>(j) / length;
            const QColor c(Component(from.red(), to.red(), t),
                           Component(from.green(), to.green(), t),
                           Component(from.blue(), to.blue(), t));
            const int p = i * bandSize + j;
            // One-pixel lines that stop short of their end point.
            if (direction)
                canvas.fillRect(rect.Left + p, rect.Top, 1, rect.Bottom - rect.Top, c);
            else
                canvas.fillRect(rect.Left, rect.Top + p, rect.Right - rect.Left, 1, c);
        }
    }
    canvas.restore();
}

} // namespace vocalyn
