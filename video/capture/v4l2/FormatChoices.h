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

// The pixel format to stream when the program asks for `requested` at about this size. A
// request for 24-bit RGB gets the camera's own YUYV or UYVY instead when the camera gives that
// at the same size and rate as the RGB: the program converts it once with its own converters,
// where libv4l2 would convert it to RGB and the program then copy the rows bottom-up. Anything
// else is asked for as it is.
std::uint32_t StreamPixelFormat(IoctlPort& device, std::uint32_t requested, std::uint32_t width,
                                std::uint32_t height);

// The usual picture sizes, smallest first, offered within a range of sizes.
const std::vector<QSize>& CommonFrameSizes();

} // namespace vocalyn::video::v4l2
