#pragma once

class QWidget;

namespace vocalyn {

// Blends the window out over `duration_ms`, then hides it. Returns when done;
// no event is handled meanwhile, only the window is repainted.
void FadeOut(QWidget& window, int duration_ms);

} // namespace vocalyn
