#pragma once

class QWidget;

namespace vocalyn {

// Blends the window out over `duration_ms`, then hides it. Returns when done;
// no event is handled meanwhile, only the window is repainted. Where the platform cannot
// change a window's opacity (Wayland), a translucent window fades by painting `content`, the
// widget that covers it, ever fainter.
void FadeOut(QWidget& window, int duration_ms, QWidget* content = nullptr);

} // namespace vocalyn
