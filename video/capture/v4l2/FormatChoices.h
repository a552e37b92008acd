#pragma once

#include "video/capture/v4l2/IoctlPort.h"

#include <QSize>
#include <QString>

#include <cstdint>
#include <vector>

namespace vocalyn::video::v4l2 {

// One pixel format the device offers, with the frame sizes it offers it in.
struct PixelFormatChoice {
    std::uint32_t pixelFormat = 0; // V4L2 four-character code
    QString description;
    bool emulated = false; // converted in software from one of the camera's own formats
    std::vector<QSize> sizes;
};

// The device's capture formats in its order, each with its sizes, smallest
// first. Ranges of sizes become the usual picture sizes that lie on their
// grid, plus the largest.
std::vector<PixelFormatChoice> QueryFormatChoices(IoctlPort& device);

// The usual picture sizes, smallest first, offered within a range of sizes.
const std::vector<QSize>& CommonFrameSizes();

} // namespace vocalyn::video::v4l2
