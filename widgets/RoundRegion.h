#pragma once

#include <QRegion>

namespace vocalyn {

// The pixels of a rectangle from (left, top) to (right, bottom), right and
// bottom edges excluded, whose corners are cut by ellipses of the given size.
QRegion RoundRectRegion(int left, int top, int right, int bottom, int ellipseWidth,
                        int ellipseHeight);

} // namespace vocalyn
