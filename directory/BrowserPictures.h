#pragma once

#include <QPixmap>

// The pictures of the network browser's windows, drawn in code so that they scale with nothing
// and need no files.
namespace vocalyn::directory {

inline constexpr int kBusyFrameCount = 12;
inline constexpr int kBusyFrameSize = 32;

// Frame `index` (taken modulo kBusyFrameCount) of the "Searching..." window's busy picture: a
// ring of twelve dots whose dark head moves one place on per frame.
QPixmap BusyFrame(int index);

// The refresh button's 16 × 16 picture, at a device pixel ratio of 3: two white arrows pointing
// opposite ways on red.
QPixmap RefreshPicture();

} // namespace vocalyn::directory
