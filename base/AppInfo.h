#pragma once

namespace vocalyn {

// The taskbar text, the main window's caption and the caption of every error box.
inline constexpr const char* kApplicationTitle = "Brelle Zovero - Vocalyn";

} // namespace vocalyn
