#include "video/capture/PreviewImage.h"

#include "video/conversion/YUVConverters.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vocalyn::video {

namespace {

QImage BottomUp(const std::uint8_t* data, int width, int height, qsizetype rowBytes,
                QImage::Format format) {
    // The wrapper borrows the frame; mirroring makes the copy that outlives it.
    const QImage rows(data, width, height, rowBytes, format);
    return rows.mirrored(false, true);
}

// Every other row and pixel pair of a packed frame: each new pair keeps the first pair's bytes
// with its second luma sample taken from the next pair (the first luma sample there). Done on
// whole pairs of pairs as 64-bit words, little-endian: the first pair is the low half.
void HalvePacked(const std::uint8_t* source, int width, int height, int frameClass,
                 std::uint8_t* target) {
    static_assert(std::endian::native == std::endian::little);
    // YUY2 is Y0 U Y1 V, UYVY is U Y0 V Y1.
    const int firstLuma = frameClass == kClassYUY2 ? 0 : 1;
    const int secondLuma = firstLuma + 2;
    const std::uint32_t keep = ~(std::uint32_t{0xFF} << 8 * secondLuma);
    const int shift = 8 * (secondLuma - firstLuma); // from the next pair's first luma byte
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 2;
    const int quads = width / 4;
    for (int row = 0; row < height / 2; ++row) {
        const std::uint8_t* in = source + rowBytes * 2 * static_cast<std::size_t>(row);
        for (int quad = 0; quad < quads; ++quad, target += 4) {
            std::uint64_t two;
            std::memcpy(&two, in + 8 * static_cast<std::size_t>(quad), 8);
            const auto first = static_cast<std::uint32_t>(two);
            const auto next = static_cast<std::uint32_t>(two >> 32);
            const std::uint32_t luma = (next >> 8 * firstLuma) & 0xFF;
            const std::uint32_t pair = (first & keep) | (luma << (8 * firstLuma + shift));
            std::memcpy(target, &pair, 4);
        }
    }
}

} // namespace

PreviewFrame PreviewMaker::Make(const BITMAPINFOHEADER& format, std::span<const std::uint8_t> frame,
                                QSize shown) {
    const int frameClass = ClassifyFormat(format.biCompression);
    const int width = format.biWidth;
    const int height = std::abs(format.biHeight);
    const bool packed = frameClass == kClassYUY2 || frameClass == kClassUYVY;
    if (!packed || shown.isEmpty() || width % 4 != 0 || height % 2 != 0 ||
        width < 2 * shown.width() || height < 2 * shown.height() ||
        frame.size() < SourceFrameBytes(frameClass, width, height))
        return PreviewPicture(format, frame);
    const QSize size(width / 2, height / 2);
    half_.resize(SourceFrameBytes(frameClass, size.width(), size.height()));
    HalvePacked(frame.data(), width, height, frameClass, half_.data());
    QImage& picture = pictures_[next_];
    next_ ^= 1;
    if (picture.size() != size || !picture.isDetached())
        picture = QImage(size, QImage::Format_RGB32);
    // Half of a frame of whole pairs of pairs is whole pairs: the converter reaches every pixel.
    ConvertFrame(frameClass, half_.data(), picture.bits(), size.width(), size.height());
    return {picture, true};
}

PreviewFrame PreviewPicture(const BITMAPINFOHEADER& format, std::span<const std::uint8_t> frame) {
    const int width = format.biWidth;
    const int height = std::abs(format.biHeight);
    if (width <= 0 || height <= 0 || frame.empty())
        return {};
    const int frameClass = ClassifyFormat(format.biCompression);
    if (frameClass == kClassRGB) {
        QImage::Format layout;
        switch (format.biBitCount) {
        case 16:
            layout = format.biCompression == kBI_BITFIELDS ? QImage::Format_RGB16
                                                           : QImage::Format_RGB555;
            break;
        case 24:
            layout = QImage::Format_BGR888;
            break;
        case 32:
            layout = QImage::Format_RGB32;
            break;
        default:
            return {};
        }
        const qsizetype rowBytes = (qsizetype{width} * format.biBitCount + 31) / 32 * 4;
        if (frame.size() < static_cast<std::size_t>(rowBytes * height))
            return {};
        // A negative height marks rows stored top down. Either way the picture is a copy: the
        // frame's bytes are the driver's and go back to it.
        if (format.biHeight < 0)
            return {QImage(frame.data(), width, height, rowBytes, layout).copy()};
        return {BottomUp(frame.data(), width, height, rowBytes, layout)};
    }
    if (frameClass != kClassUnknown) {
        if (frame.size() < SourceFrameBytes(frameClass, width, height))
            return {};
        QImage pixels(width, height, QImage::Format_RGB32);
        // Every converter reaches each pixel of a picture of whole 8 x 4 blocks.
        if (width % 8 != 0 || height % 4 != 0)
            pixels.fill(Qt::black);
        ConvertFrame(frameClass, frame.data(), pixels.bits(), width, height);
        return {std::move(pixels), true};
    }
    if (format.biCompression == FourCC('M', 'J', 'P', 'G') ||
        format.biCompression == FourCC('J', 'P', 'E', 'G'))
        return {QImage::fromData(frame.data(), static_cast<int>(frame.size()), "JPG")};
    return {};
}

QImage PreviewImage(const BITMAPINFOHEADER& format, std::span<const std::uint8_t> frame) {
    PreviewFrame picture = PreviewPicture(format, frame);
    return picture.bottomUp ? picture.image.mirrored(false, true) : std::move(picture.image);
}

} // namespace vocalyn::video
