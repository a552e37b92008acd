#include "video/capture/v4l2/FormatMapping.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vocalyn::video::v4l2 {

namespace {

constexpr std::uint32_t kYUY2 = FourCC('Y', 'U', 'Y', '2');
constexpr std::uint32_t kUYVY = FourCC('U', 'Y', 'V', 'Y');
constexpr std::uint32_t kI420 = FourCC('I', '4', '2', '0');
constexpr std::uint32_t kY8 = FourCC('Y', '8', ' ', ' ');
constexpr std::uint32_t kY41P = FourCC('Y', '4', '1', 'P');
constexpr std::uint32_t kYVU9 = FourCC('Y', 'V', 'U', '9');

std::uint32_t RgbRowBytes(std::uint32_t width) {
    return (width * 24 + 31) / 32 * 4;
}

std::uint32_t DivUp(std::uint32_t value, std::uint32_t by) {
    return (value + by - 1) / by;
}

// One plane: `rows` rows of `rowBytes` each, `stride` apart in the source.
struct Plane {
    std::uint32_t rowBytes;
    std::uint32_t rows;
    std::uint32_t stride;
};

// The planes of a format whose rows may carry padding; empty for formats
// passed on as they are.
std::vector<Plane> PlanesOf(const v4l2_pix_format& pix) {
    const std::uint32_t w = pix.width;
    const std::uint32_t h = pix.height;
    const auto stride = [&](std::uint32_t tight) { return std::max(pix.bytesperline, tight); };
    switch (pix.pixelformat) {
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_UYVY:
        return {{w * 2, h, stride(w * 2)}};
    case V4L2_PIX_FMT_GREY:
        return {{w, h, stride(w)}};
    case V4L2_PIX_FMT_Y41P:
        return {{DivUp(w, 8) * 12, h, stride(DivUp(w, 8) * 12)}};
    case V4L2_PIX_FMT_YUV420: {
        const std::uint32_t s = stride(w);
        const Plane chroma{DivUp(w, 2), DivUp(h, 2), std::max(s / 2, DivUp(w, 2))};
        return {{w, h, s}, chroma, chroma};
    }
    case V4L2_PIX_FMT_YVU410: {
        const std::uint32_t s = stride(w);
        const Plane chroma{DivUp(w, 4), DivUp(h, 4), std::max(s / 4, DivUp(w, 4))};
        return {{w, h, s}, chroma, chroma};
    }
    default:
        return {};
    }
}

std::span<const std::uint8_t> PackRgb(const v4l2_pix_format& pix,
                                      std::span<const std::uint8_t> frame,
                                      std::vector<std::uint8_t>& scratch) {
    const std::uint32_t w = pix.width;
    const std::uint32_t h = pix.height;
    const std::uint32_t stride = std::max(pix.bytesperline, w * 3);
    if (h == 0 || frame.size() < std::size_t{stride} * (h - 1) + w * 3)
        return {};
    const std::uint32_t rowBytes = RgbRowBytes(w);
    const bool swap = pix.pixelformat == V4L2_PIX_FMT_RGB24;
    if (!swap && stride == rowBytes && frame.size() >= std::size_t{rowBytes} * h)
        return frame.first(std::size_t{rowBytes} * h);
    // Every byte is written below, so the buffer of the last frame is not cleared first.
    scratch.resize(std::size_t{rowBytes} * h);
    for (std::uint32_t y = 0; y < h; ++y) {
        const std::uint8_t* source = frame.data() + std::size_t{stride} * y;
        std::uint8_t* target = scratch.data() + std::size_t{rowBytes} * y;
        std::memset(target + std::size_t{w} * 3, 0, rowBytes - std::size_t{w} * 3);
        if (!swap) {
            std::memcpy(target, source, std::size_t{w} * 3);
            continue;
        }
        for (std::uint32_t x = 0; x < w; ++x) {
            target[3 * x] = source[3 * x + 2];
            target[3 * x + 1] = source[3 * x + 1];
            target[3 * x + 2] = source[3 * x];
        }
    }
    return scratch;
}

} // namespace

BITMAPINFOHEADER FormatFromPixFormat(const v4l2_pix_format& pix) {
    const std::uint32_t w = pix.width;
    const std::uint32_t h = pix.height;
    const auto header = [&](int bits, std::uint32_t compression, std::uint32_t sizeImage,
                            bool topDown = false) {
        const auto height = static_cast<int>(h);
        return FormatHeader(static_cast<int>(w), topDown ? -height : height, bits, compression,
                            sizeImage);
    };
    switch (pix.pixelformat) {
    case V4L2_PIX_FMT_YUYV:
        return header(16, kYUY2, w * h * 2);
    case V4L2_PIX_FMT_UYVY:
        return header(16, kUYVY, w * h * 2);
    case V4L2_PIX_FMT_YUV420:
        return header(12, kI420, w * h + 2 * DivUp(w, 2) * DivUp(h, 2));
    case V4L2_PIX_FMT_GREY:
        return header(8, kY8, w * h);
    case V4L2_PIX_FMT_Y41P:
        return header(12, kY41P, DivUp(w, 8) * 12 * h);
    case V4L2_PIX_FMT_YVU410:
        return header(9, kYVU9, w * h + 2 * DivUp(w, 4) * DivUp(h, 4));
    case V4L2_PIX_FMT_BGR24:
    case V4L2_PIX_FMT_RGB24:
        return header(24, kBI_RGB, RgbRowBytes(w) * h, true); // rows as the device has them
    default: {
        // Compressed frames vary in size; the driver's buffer size bounds them.
        const bool jpeg =
            pix.pixelformat == V4L2_PIX_FMT_MJPEG || pix.pixelformat == V4L2_PIX_FMT_JPEG;
        const auto bits = static_cast<int>(jpeg ? 24 : (w ? pix.bytesperline * 8 / w : 0));
        return header(bits, pix.pixelformat, pix.sizeimage);
    }
    }
}

std::optional<std::uint32_t> PixelFormatFor(const BITMAPINFOHEADER& format) {
    switch (format.biCompression) {
    case kBI_RGB:
        if (format.biBitCount == 24)
            return V4L2_PIX_FMT_BGR24;
        return std::nullopt;
    case kYUY2:
    case V4L2_PIX_FMT_YUYV:
        return V4L2_PIX_FMT_YUYV;
    case kI420:
    case FourCC('I', 'Y', 'U', 'V'):
    case V4L2_PIX_FMT_YUV420:
        return V4L2_PIX_FMT_YUV420;
    case kY8:
    case FourCC('Y', '8', '0', '0'):
    case V4L2_PIX_FMT_GREY:
        return V4L2_PIX_FMT_GREY;
    case kYVU9:
        return V4L2_PIX_FMT_YVU410;
    case 1: // run-length encoded and bit-field RGB have no V4L2 counterpart
    case 2:
    case 3:
        return std::nullopt;
    default:
        // UYVY, Y41P, MJPG and the rest share their code with V4L2.
        return format.biCompression;
    }
}

std::span<const std::uint8_t> PackFrame(const v4l2_pix_format& pix,
                                        std::span<const std::uint8_t> frame,
                                        std::vector<std::uint8_t>& scratch) {
    if (pix.pixelformat == V4L2_PIX_FMT_BGR24 || pix.pixelformat == V4L2_PIX_FMT_RGB24)
        return PackRgb(pix, frame, scratch);
    const std::vector<Plane> planes = PlanesOf(pix);
    if (planes.empty())
        return frame;
    std::size_t tight = 0;
    std::size_t padded = 0;
    bool padding = false;
    for (const Plane& plane : planes) {
        tight += std::size_t{plane.rowBytes} * plane.rows;
        padded += std::size_t{plane.stride} * plane.rows;
        padding = padding || plane.stride != plane.rowBytes;
    }
    if (!padding)
        return frame.size() >= tight ? frame.first(tight) : std::span<const std::uint8_t>{};
    // The last row of the last plane need not carry its padding.
    const Plane& last = planes.back();
    if (frame.size() < padded - (last.stride - last.rowBytes))
        return {};
    scratch.resize(tight);
    const std::uint8_t* source = frame.data();
    std::uint8_t* target = scratch.data();
    for (const Plane& plane : planes) {
        for (std::uint32_t row = 0; row < plane.rows; ++row) {
            std::memcpy(target, source + std::size_t{plane.stride} * row, plane.rowBytes);
            target += plane.rowBytes;
        }
        source += std::size_t{plane.stride} * plane.rows;
    }
    return scratch;
}

} // namespace vocalyn::video::v4l2
