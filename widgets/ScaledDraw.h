#pragma once

#include <QRect>

class QImage;
class QPainter;
class QPixmap;

namespace vocalyn {

// Draws a picture stretched over `target` with smooth scaling, in bands of rows across the part
// of it inside `area`. Qt hands a scaled draw of more than about a hundred rows to its GUI
// thread pool in parts and waits for them; for a picture drawn thirty times a second, waking
// those threads costs more than the scaling itself. Bands of fewer rows are drawn by the
// calling thread alone, and every pixel is sampled as in one draw of the whole picture. Uses
// the painter's transform; leaves its clip off.
void DrawScaled(QPainter& painter, const QRect& target, const QPixmap& picture, const QRect& area);
void DrawScaled(QPainter& painter, const QRect& target, const QImage& picture, const QRect& area);

} // namespace vocalyn
