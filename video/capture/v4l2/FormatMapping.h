#pragma once

#include "video/conversion/FormatCodes.h"

#include <linux/videodev2.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vocalyn::video::v4l2 {

// How the program sees a V4L2 capture format: the YUV layouts under the codes
// the converters know, 24-bit RGB (either byte order) as top-down BI_RGB (a
// negative height), and anything else (MJPEG, say) under its own code.
BITMAPINFOHEADER FormatFromPixFormat(const v4l2_pix_format& pix);

// The V4L2 pixel format to ask for when the program asks for a format;
// nothing when no V4L2 format carries it.
std::optional<std::uint32_t> PixelFormatFor(const BITMAPINFOHEADER& format);

// The frame as the format from FormatFromPixFormat lays it out: RGB rows in
// blue, green, red order padded to whole 32-bit words, other padded rows made
// tight. Gives the device's bytes themselves when they already fit, else
// fills scratch. Empty when the device filled less than a whole frame.
std::span<const std::uint8_t> PackFrame(const v4l2_pix_format& pix,
                                        std::span<const std::uint8_t> frame,
                                        std::vector<std::uint8_t>& scratch);

} // namespace vocalyn::video::v4l2
