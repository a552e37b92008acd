#include "video/transport/FramePicture.h"

#include "video/conversion/BitmapFile.h"
#include "video/conversion/FrameBuffer.h"

#include <QPainter>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace vocalyn::video {

namespace {

constexpr int kMaxSide = 65500; // what a JPEG file can hold

// A view of the pixel area when its rows are what the encoder can take as they lie.
PictureView DirectView(const FrameBuffer& frames) {
    const BITMAPINFOHEADER header = ReadBitmapHeader(frames.FrameHeader());
    const std::int64_t height = std::llabs(header.biHeight);
    if (!frames.FramePixels() || header.biPlanes != 1 || header.biCompression != 0 ||
        (header.biBitCount != 24 && header.biBitCount != 32) || header.biWidth < 1 ||
        header.biWidth > kMaxSide || height < 1 || height > kMaxSide)
        return {};
    const std::int64_t rowBytes = RowBytes(std::int64_t{header.biWidth} * header.biBitCount);
    if (header.biSizeImage < rowBytes * height)
        return {};
    PictureView view;
    view.width = header.biWidth;
    view.height = static_cast<int>(height);
    view.layout = header.biBitCount == 32 ? PixelLayout::BGRX : PixelLayout::BGR;
    // A positive height stores the picture bottom-up.
    const bool bottomUp = header.biHeight > 0;
    view.top = frames.FramePixels() + (bottomUp ? (height - 1) * rowBytes : 0);
    view.stride = bottomUp ? -rowBytes : rowBytes;
    return view;
}

} // namespace

FramePicture::Reading FramePicture::PrepareFrame(const FrameBuffer& frames) {
    picture_ = DirectView(frames);
    if (!picture_.empty())
        return Reading::Direct;

    QImage read;
    const QByteArray& stream = frames.FrameStream();
    const bool readable =
        read.loadFromData(reinterpret_cast<const uchar*>(stream.constData()),
                          static_cast<int>(std::min<qsizetype>(stream.size(), INT_MAX)), "BMP");
    if (readable)
        bitmap_ = std::move(read);

    const BITMAPINFOHEADER driver = frames.DriverHeader();
    const QSize size(driver.biWidth, static_cast<int>(std::llabs(driver.biHeight)));
    if (size.isEmpty() || size.width() > kMaxSide || size.height() > kMaxSide)
        return readable ? Reading::Bitmap : Reading::Unreadable;
    if (bitmap_.size() == size) {
        picture24_ = bitmap_.convertToFormat(QImage::Format_RGB888);
    } else {
        if (picture24_.size() != size || picture24_.format() != QImage::Format_RGB888)
            picture24_ = QImage(size, QImage::Format_RGB888);
        picture24_.fill(Qt::black);
        if (!bitmap_.isNull() && !picture24_.isNull()) {
            QPainter painter(&picture24_);
            painter.drawImage(0, 0, bitmap_);
        }
    }
    if (!picture24_.isNull())
        picture_ = {picture24_.constBits(), size.width(), size.height(), picture24_.bytesPerLine(),
                    PixelLayout::RGB};
    return readable ? Reading::Bitmap : Reading::Unreadable;
}

} // namespace vocalyn::video
