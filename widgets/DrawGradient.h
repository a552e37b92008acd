#pragma once

#include <QColor>
#include <QList>

class QPainter;

namespace vocalyn {

// Edges as the painter's callers give them: lines run from Left to Right
// (or Top to Bottom) with the end point itself left unpainted.
struct GradientRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

// Paints a linear gradient through `colours` in equal bands: top to bottom
// when `direction` is false, left to right when true. Throws vocalyn::Error
// "Please specify at least two colors." with fewer than two colours.
void DrawGradient(QPainter& canvas, const GradientRect& rect, bool direction,
                  const QList<QColor>& colours);

} // namespace vocalyn
