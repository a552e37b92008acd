#pragma once

class QWidget;

namespace vocalyn {

// Blends the window out over `duration_ms`, then hides it. Returns when done;
// the event loop keeps running meanwhile.
void FadeOut(QWidget& window, int duration_ms);

} // namespace vocalyn
