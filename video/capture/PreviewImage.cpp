#include "video/capture/PreviewImage.h"

#include "video/conversion/YUVConverters.h"

#include <cstdlib>
#include <utility>

namespace vocalyn::video {

namespace {

QImage BottomUp(const std::uint8_t* data, int width, int height, qsizetype rowBytes,
                QImage::Format format) {
    // The wrapper borrows the frame; mirroring makes the copy that outlives it.
    const QImage rows(data, width, height, rowBytes, format);
    return rows.mirrored(false, true);
}

} // namespace

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
