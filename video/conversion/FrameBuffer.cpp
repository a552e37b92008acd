#include "video/conversion/FrameBuffer.h"

#include "base/Error.h"
#include "video/conversion/VideoFormatSource.h"
#include "video/conversion/YUVConverters.h"

#include <cstdlib>
#include <cstring>
#include <span>

namespace vocalyn::video {

namespace {

// Far beyond any real format; a driver reporting more is not believed.
constexpr std::uint32_t kMaxFormatBlock = 1u << 20;
constexpr qint64 kMaxStream = qint64{1} << 30;

std::span<const std::byte> Bytes(const QByteArray& block) {
    return std::as_bytes(std::span(block.constData(), static_cast<std::size_t>(block.size())));
}

void PutHeader(QByteArray& block, const BITMAPINFOHEADER& header) {
    const QByteArray bytes = BitmapHeaderBytes(header);
    if (block.size() < bytes.size())
        block.resize(bytes.size(), '\0');
    std::memcpy(block.data(), bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

void FrameBuffer::InitFrameBuffer(VideoFormatSource* captureWindow) {
    if (!captureWindow)
        return;
    frameStream_ = QByteArray();
    framePixels_ = nullptr;
    driverFormat_ = QByteArray();
    BITMAPINFOHEADER request;
    BuildBitmapHeader(request, 384, 288, 24);
    frameHeader_ = BitmapHeaderBytes(request);
    captureWindow->SetVideoFormat(Bytes(frameHeader_)); // the driver may keep its own
    ReadVideoFormat(captureWindow);
    frameBitmap_ = QImage();
}

void FrameBuffer::ReadVideoFormat(VideoFormatSource* captureWindow) {
    if (!captureWindow)
        return;
    const std::uint32_t size = captureWindow->GetVideoFormatSize();
    if (size == 0)
        throw Error(QStringLiteral("No capture driver is connected."));
    if (size > kMaxFormatBlock)
        throw Error(QStringLiteral("The capture driver reports an invalid video format."));
    QByteArray block(static_cast<qsizetype>(size), '\0');
    if (captureWindow->GetVideoFormat(std::as_writable_bytes(
            std::span(block.data(), static_cast<std::size_t>(block.size())))) == 0)
        throw Error(QStringLiteral("The capture driver's video format cannot be read."));
    // The new format is built aside and taken only whole: one refused leaves the last good one.
    const BITMAPINFOHEADER driver = ReadBitmapHeader(block);
    const int frameClass = ClassifyFormat(driver.biCompression);
    QByteArray frameHeader = frameHeader_;
    if (frameClass == kClassRGB) {
        // The driver's own header, with its colour table or masks, describes
        // the copied frames.
        frameHeader = block;
        BITMAPINFOHEADER header = ReadBitmapHeader(frameHeader);
        if (header.biSizeImage == 0 && header.biWidth > 0) {
            // Allowed for uncompressed formats; the pixel area needs it, and the frames are
            // copied to that size.
            const std::int64_t rowBytes =
                RowBytes(static_cast<std::int64_t>(header.biWidth) * header.biBitCount);
            const std::int64_t rows = std::llabs(header.biHeight);
            if (rowBytes > 0 && rows > kMaxStream / rowBytes)
                throw Error(QStringLiteral("The capture driver reports an invalid video format."));
            header.biSizeImage = static_cast<std::uint32_t>(rowBytes * rows);
            PutHeader(frameHeader, header);
        }
    } else if (frameClass != kClassUnknown) {
        if (driver.biWidth < 0 ||
            std::int64_t{driver.biWidth} * 4 * std::llabs(driver.biHeight) > kMaxStream)
            throw Error(QStringLiteral("The capture driver reports an invalid video format."));
        // Bytes after the first 40 (from an earlier format) stay and are
        // skipped by the pixel offset.
        BITMAPINFOHEADER header;
        BuildBitmapHeader(header, driver.biWidth, driver.biHeight, 32);
        PutHeader(frameHeader, header);
    }
    if (qint64{kBitmapFileHeaderSize} + frameHeader.size() +
            ReadBitmapHeader(frameHeader).biSizeImage >
        kMaxStream)
        throw Error(QStringLiteral("The capture driver's video format is too large."));
    driverFormat_ = block;
    frameClass_ = frameClass;
    frameHeader_ = frameHeader;
    RebuildStream();
}

void FrameBuffer::RebuildStream() {
    const qint64 headerSize = frameHeader_.size();
    const qint64 size = qint64{kBitmapFileHeaderSize} + headerSize + FramePixelBytes();
    if (size > kMaxStream)
        throw Error(QStringLiteral("The capture driver's video format is too large."));
    frameStream_.resize(static_cast<qsizetype>(size)); // the pixel area is not cleared
    const auto pixelOffset = static_cast<std::uint32_t>(kBitmapFileHeaderSize + headerSize);
    const QByteArray fileHeader = BitmapFileHeader(static_cast<std::uint32_t>(size), pixelOffset);
    char* stream = frameStream_.data();
    std::memcpy(stream, fileHeader.constData(), kBitmapFileHeaderSize);
    std::memcpy(stream + kBitmapFileHeaderSize, frameHeader_.constData(),
                static_cast<std::size_t>(headerSize));
    framePixels_ = reinterpret_cast<std::uint8_t*>(stream) + pixelOffset;
}

void FrameBuffer::FreeFrameBuffer() {
    framePixels_ = nullptr;
    frameStream_ = QByteArray();
    frameBitmap_ = QImage();
    frameHeader_ = QByteArray();
    driverFormat_ = QByteArray();
}

std::uint32_t FrameBuffer::FramePixelBytes() const {
    return ReadBitmapHeader(frameHeader_).biSizeImage;
}

bool FrameBuffer::ReadFrameBitmap() {
    QImage picture;
    if (!picture.loadFromData(frameStream_, "BMP"))
        return false;
    frameBitmap_ = std::move(picture);
    return true;
}

} // namespace vocalyn::video
