#pragma once

namespace vocalyn {

// Registers the compiled-in pictures; they live in a static library, whose
// resource initialiser the linker would otherwise drop.
void InitAssets();

} // namespace vocalyn
