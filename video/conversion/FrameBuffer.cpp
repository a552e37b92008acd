#include "video/conversion/FrameBuffer.h"

#include "base/Error.h"
#include "video/conversion/FormatCodes.h"
#include "video/conversion/VideoFormatSource.h"
#include "video/conversion/YUVConverters.h"

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <span>

namespace vocalyn::video {

namespace {

// Far beyond any real format; a driver reporting more is not believed.
constexpr std::uint32_t kMaxFormatBlock = 1u << 20;
constexpr std::int64_t kMaxFrame = std::int64_t{1} << 30;
constexpr int kMaxSide = 65500; // what a JPEG file can hold

Error InvalidFormat() {
    return Error(QStringLiteral("The capture driver reports an invalid video format."));
}

std::uint32_t Word(const QByteArray& block, std::size_t at) {
    return qFromLittleEndian<std::uint32_t>(block.constData() + at);
}

// A channel under a mask as 8 bits: the field times 256 / its number of values, the scaling of
// bitmap readers, so that pictures keep the colours a bitmap of the frame shows.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t scale = 0;

    explicit Channel(std::uint32_t bits) : mask(bits), shift(std::countr_zero(bits)) {
        scale = 256 / ((bits >> shift) + 1);
    }
    std::uint32_t operator()(std::uint32_t pixel) const {
        return (((pixel & mask) >> shift) * scale) & 0xFF;
    }
};

// Masks whose fields fit 8 bits; others have no picture here.
bool UsableMasks(const std::array<std::uint32_t, 3>& masks) {
    return std::all_of(masks.begin(), masks.end(), [](std::uint32_t mask) {
        return mask != 0 && (mask >> std::countr_zero(mask)) < 256;
    });
}

// How a class-1 format's frames become a picture.
FrameFormat::Reading RgbReading(const BITMAPINFOHEADER& header, const QByteArray& block,
                                FrameFormat& format) {
    using Reading = FrameFormat::Reading;
    if (header.biPlanes != 1 || format.width < 1 || format.width > kMaxSide || format.height < 1 ||
        format.height > kMaxSide)
        return Reading::Unreadable;
    const int bits = header.biBitCount;
    if (header.biCompression == kBI_RGB && (bits == 24 || bits == 32))
        return Reading::Direct;
    if (header.biCompression == kBI_RGB && bits == 16) {
        format.masks = {0x7C00, 0x03E0, 0x001F};
        return Reading::Masked;
    }
    if (header.biCompression == kBI_BITFIELDS && (bits == 16 || bits == 32)) {
        if (block.size() < qsizetype{kBitmapInfoHeaderSize} + 12)
            return Reading::Unreadable;
        format.masks = {Word(block, 40), Word(block, 44), Word(block, 48)};
        return UsableMasks(format.masks) ? Reading::Masked : Reading::Unreadable;
    }
    if (header.biCompression == kBI_RGB && bits == 8) {
        const std::uint32_t count = header.biClrUsed ? header.biClrUsed : 256;
        const std::size_t tableAt = std::max<std::size_t>(header.biSize, kBitmapInfoHeaderSize);
        if (count > 256 ||
            tableAt + std::size_t{count} * 4 > static_cast<std::size_t>(block.size()))
            return Reading::Unreadable;
        // Indices past the table are black, as in a bitmap reader.
        format.colours.assign(256, 0);
        for (std::uint32_t i = 0; i < count; ++i)
            format.colours[i] = Word(block, tableAt + std::size_t{i} * 4) & 0xFFFFFF;
        return Reading::Indexed;
    }
    return Reading::Unreadable;
}

} // namespace

CameraFrame DescribeFrame(const BITMAPINFOHEADER& format, std::span<const std::uint8_t> bytes,
                          std::uint32_t time_ms) {
    CameraFrame frame;
    frame.pixels = bytes.data();
    frame.bytes = bytes.size();
    frame.width = format.biWidth;
    frame.height = format.biHeight == INT32_MIN ? INT32_MAX : std::abs(format.biHeight);
    frame.format = format.biCompression;
    frame.time_ms = time_ms;
    const int frameClass = ClassifyFormat(format.biCompression);
    if (frameClass == kClassRGB)
        frame.stride =
            static_cast<std::ptrdiff_t>(RowBytes(std::int64_t{format.biWidth} * format.biBitCount));
    else if (frameClass == kClassI420 || frameClass == kClassYVU9)
        frame.stride = format.biWidth;
    else
        frame.stride = static_cast<std::ptrdiff_t>(SourceRowBytes(frameClass, format.biWidth));
    return frame;
}

FrameFormat ReadFrameFormat(const QByteArray& block) {
    const BITMAPINFOHEADER header = ReadBitmapHeader(block);
    FrameFormat format;
    format.width = header.biWidth;
    format.height = header.biHeight == INT32_MIN ? INT32_MAX : std::abs(header.biHeight);
    format.bottomUp = header.biHeight > 0;
    format.frameClass = ClassifyFormat(header.biCompression);
    format.bitCount = header.biBitCount;
    format.compression = header.biCompression;
    const std::int64_t rows = format.height;
    if (format.frameClass == kClassRGB) {
        const std::int64_t rowBytes = RowBytes(std::int64_t{header.biWidth} * header.biBitCount);
        if (header.biWidth < 0 || (rowBytes > 0 && rows > kMaxFrame / rowBytes))
            throw InvalidFormat();
        format.rowBytes = static_cast<std::size_t>(rowBytes);
        // A driver may leave the image size 0 for uncompressed formats.
        format.frameBytes =
            header.biSizeImage ? header.biSizeImage : static_cast<std::size_t>(rowBytes * rows);
        if (static_cast<std::int64_t>(format.frameBytes) + block.size() > kMaxFrame)
            throw Error(QStringLiteral("The capture driver's video format is too large."));
        format.reading = RgbReading(header, block, format);
    } else if (format.frameClass != kClassUnknown) {
        if (header.biWidth < 0 || std::int64_t{header.biWidth} * 4 * rows > kMaxFrame)
            throw InvalidFormat();
        format.rowBytes = SourceRowBytes(format.frameClass, header.biWidth);
        format.frameBytes = SourceFrameBytes(format.frameClass, header.biWidth, format.height);
        format.reading = FrameFormat::Reading::Converted;
    }
    return format;
}

void FrameBuffer::InitFrameBuffer(VideoFormatSource* captureWindow) {
    if (!captureWindow)
        return;
    live_ = false;
    driverFormat_ = QByteArray();
    format_ = {};
    BITMAPINFOHEADER request;
    BuildBitmapHeader(request, 384, 288, 24);
    const QByteArray bytes = BitmapHeaderBytes(request);
    // The driver may keep its own format.
    captureWindow->SetVideoFormat(
        std::as_bytes(std::span(bytes.constData(), kBitmapInfoHeaderSize)));
    ReadVideoFormat(captureWindow);
}

void FrameBuffer::ReadVideoFormat(VideoFormatSource* captureWindow) {
    if (!captureWindow)
        return;
    const std::uint32_t size = captureWindow->GetVideoFormatSize();
    if (size == 0)
        throw Error(QStringLiteral("No capture driver is connected."));
    if (size > kMaxFormatBlock)
        throw InvalidFormat();
    QByteArray block(static_cast<qsizetype>(size), '\0');
    if (captureWindow->GetVideoFormat(std::as_writable_bytes(
            std::span(block.data(), static_cast<std::size_t>(block.size())))) == 0)
        throw Error(QStringLiteral("The capture driver's video format cannot be read."));
    // Taken only whole: a format refused leaves the last good one.
    FrameFormat format = ReadFrameFormat(block);
    driverFormat_ = block;
    format_ = std::move(format);
    live_ = true;
    MakeBuffer();
}

void FrameBuffer::MakeBuffer() {
    using Reading = FrameFormat::Reading;
    // Frames used where they lie need no buffer; what it holds stays for a later unreadable one.
    if (format_.reading == Reading::None || format_.reading == Reading::Direct)
        return;
    const int width = std::clamp(format_.width, 0, kMaxSide);
    const int height = std::clamp(format_.height, 0, kMaxSide);
    if (std::int64_t{width} * 4 * height > kMaxFrame || width == 0 || height == 0) {
        picture_.clear();
        pictureWidth_ = pictureHeight_ = 0;
        return;
    }
    if (width == pictureWidth_ && height == pictureHeight_)
        return;
    // The last picture stays at (0, 0) on black: pixels a converter does not reach keep it, and
    // it is what an unreadable format shows.
    std::vector<std::uint8_t> picture(static_cast<std::size_t>(width) * 4 * height, 0);
    const int rows = std::min(height, pictureHeight_);
    const auto rowBytes = static_cast<std::size_t>(std::min(width, pictureWidth_)) * 4;
    for (int y = 0; y < rows; ++y)
        std::memcpy(picture.data() + static_cast<std::size_t>(y) * width * 4,
                    picture_.data() + static_cast<std::size_t>(y) * pictureWidth_ * 4, rowBytes);
    picture_ = std::move(picture);
    pictureWidth_ = width;
    pictureHeight_ = height;
}

void FrameBuffer::FreeFrameBuffer() {
    live_ = false;
    driverFormat_ = QByteArray();
    format_ = {};
    picture_ = {};
    pictureWidth_ = pictureHeight_ = 0;
}

bool FrameBuffer::Accepts(const CameraFrame& frame) const {
    using Reading = FrameFormat::Reading;
    if (!live_ || format_.reading == Reading::None || !frame.pixels ||
        frame.width != format_.width || frame.height != format_.height ||
        frame.format != format_.compression || frame.stride < 0)
        return false;
    if (format_.reading == Reading::Unreadable)
        return true; // nothing of it is read
    const auto stride = static_cast<std::size_t>(frame.stride);
    const auto rows = static_cast<std::size_t>(frame.height);
    if (format_.frameClass == kClassI420 || format_.frameClass == kClassYVU9)
        return stride == static_cast<std::size_t>(frame.width) && frame.bytes >= format_.frameBytes;
    // The bytes a row's pixels take, without any padding after them.
    const std::size_t used =
        format_.frameClass == kClassRGB
            ? (static_cast<std::size_t>(frame.width) * format_.bitCount + 7) / 8
            : format_.rowBytes;
    return frame.height > 0 && stride >= used && frame.bytes >= stride * (rows - 1) + used;
}

PictureView FrameBuffer::Picture(const CameraFrame& frame) {
    using Reading = FrameFormat::Reading;
    if (!Accepts(frame))
        return {};
    const int width = format_.width;
    const int height = format_.height;
    if (format_.reading == Reading::Direct) {
        // A bottom-up frame is read from its last row up: the driver's layout, as it lies.
        const std::ptrdiff_t stride = format_.bottomUp ? -frame.stride : frame.stride;
        return {frame.pixels + (format_.bottomUp ? (height - 1) * frame.stride : 0), width, height,
                stride, format_.bitCount == 32 ? PixelLayout::BGRX : PixelLayout::BGR};
    }
    if (picture_.empty())
        return {};
    std::uint8_t* top = picture_.data();
    const std::ptrdiff_t stride = std::ptrdiff_t{width} * 4;
    // The picture row that source row r goes to.
    const auto rowOf = [&](int r) {
        return top + (format_.bottomUp ? height - 1 - r : r) * stride;
    };
    switch (format_.reading) {
    case Reading::Converted:
        ConvertRows(format_.frameClass, frame.pixels, frame.stride, top, stride, width, height);
        break;
    case Reading::Masked: {
        const Channel red(format_.masks[0]), green(format_.masks[1]), blue(format_.masks[2]);
        const int bytes = format_.bitCount / 8;
        for (int r = 0; r < height; ++r) {
            const std::uint8_t* in = frame.pixels + r * frame.stride;
            std::uint8_t* out = rowOf(r);
            for (int x = 0; x < width; ++x, in += bytes, out += 4) {
                std::uint32_t pixel = in[0] | std::uint32_t{in[1]} << 8;
                if (bytes == 4)
                    pixel |= std::uint32_t{in[2]} << 16 | std::uint32_t{in[3]} << 24;
                const std::uint32_t bgrx = blue(pixel) | green(pixel) << 8 | red(pixel) << 16;
                std::memcpy(out, &bgrx, 4);
            }
        }
        break;
    }
    case Reading::Indexed:
        for (int r = 0; r < height; ++r) {
            const std::uint8_t* in = frame.pixels + r * frame.stride;
            std::uint8_t* out = rowOf(r);
            for (int x = 0; x < width; ++x, out += 4)
                std::memcpy(out, &format_.colours[in[x]], 4);
        }
        break;
    default: // unreadable: the picture as it stands
        return {top, pictureWidth_, pictureHeight_, std::ptrdiff_t{pictureWidth_} * 4,
                PixelLayout::BGRX};
    }
    return {top, width, height, stride, PixelLayout::BGRX};
}

} // namespace vocalyn::video
