#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vocalyn::video {

// The format requests of a capture window that the frame buffer makes. The
// block is a BITMAPINFO: a BITMAPINFOHEADER followed by whatever colour table
// or masks the driver's format carries.
class VideoFormatSource {
public:
    virtual ~VideoFormatSource() = default;

    // WM_CAP_GET_VIDEOFORMAT without a block: the size of the current format
    // block in bytes; 0 when no driver is connected.
    virtual std::uint32_t GetVideoFormatSize() = 0;
    // WM_CAP_GET_VIDEOFORMAT: fills block (at most its size) and returns the
    // bytes written; 0 on failure.
    virtual std::uint32_t GetVideoFormat(std::span<std::byte> block) = 0;
    // WM_CAP_SET_VIDEOFORMAT: asks the driver for a format; it may keep
    // another one.
    virtual bool SetVideoFormat(std::span<const std::byte> block) = 0;
};

} // namespace vocalyn::video
