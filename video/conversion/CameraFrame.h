#pragma once

#include "video/conversion/BitmapFile.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace vocalyn::video {

// One camera frame as the capture service hands it on: the driver's bytes, where their rows lie
// and what they hold. The bytes stay valid only during the handler's call. Which way up the rows
// go is the driver format's business (FrameFormat::bottomUp).
struct CameraFrame {
    const std::uint8_t* pixels = nullptr; // the frame's first byte in memory
    int width = 0;
    int height = 0; // rows
    // From one row in memory to the next; for the planar layouts, of the luma plane.
    std::ptrdiff_t stride = 0;
    // The driver's biCompression: BI_RGB, BI_BITFIELDS or a four-character code.
    std::uint32_t format = 0;
    std::size_t bytes = 0;     // readable from pixels on
    std::uint32_t time_ms = 0; // captured this long after the preview started
};

// Frame bytes laid out as a driver format describes them: tight rows, RGB rows padded to whole
// 32-bit words. Works on the format's fields alone, so that a backend can describe each frame of
// a stream without reading a header.
CameraFrame DescribeFrame(const BITMAPINFOHEADER& format, std::span<const std::uint8_t> bytes,
                          std::uint32_t time_ms = 0);

// Byte order of one pixel in memory; BGRX has an unused fourth byte.
enum class PixelLayout { RGB = 1, BGR, BGRX };

// Rows of 8-bit pixels where they already lie. `stride` leads from one picture row to the next
// one down: negative for bottom-up storage, where `top` is the last row in memory.
struct PictureView {
    const std::uint8_t* top = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    PixelLayout layout = PixelLayout::RGB;

    bool empty() const { return !top || width <= 0 || height <= 0; }
};

} // namespace vocalyn::video
