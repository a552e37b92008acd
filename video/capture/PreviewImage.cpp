#include "video/capture/PreviewImage.h"

#include "video/conversion/YUVConverters.h"

#include <cstdlib>

namespace vocalyn::video {

namespace {

QImage BottomUp(const std::uint8_t* data, int width, int height, qsizetype rowBytes,
                QImage::Format format) {
    // The wrapper borrows the frame; mirroring makes the copy that outlives it.
    const QImage rows(data, width, height, rowBytes, format);
    return rows.mirrored(false, true);
}

} // namespace

QImage PreviewImage(const BITMAPINFOHEADER& format, std::span<const std::uint8_t> frame) {
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
        QImage image = BottomUp(frame.data(), width, height, rowBytes, layout);
        // A negative height marks rows stored top down.
        return format.biHeight < 0 ? image.mirrored(false, true) : image;
    }
    if (frameClass != kClassUnknown) {
        if (frame.size() < SourceFrameBytes(frameClass, width, height))
            return {};
        QImage pixels(width, height, QImage::Format_RGB32);
        pixels.fill(Qt::black);
        ConvertFrame(frameClass, frame.data(), pixels.bits(), width, height);
        return pixels.mirrored(false, true);
    }
    if (format.biCompression == FourCC('M', 'J', 'P', 'G') ||
        format.biCompression == FourCC('J', 'P', 'E', 'G'))
        return QImage::fromData(frame.data(), static_cast<int>(frame.size()), "JPG");
    return {};
}

} // namespace vocalyn::video
