#pragma once

#include "video/conversion/BitmapFile.h"

#include <QByteArray>
#include <QImage>

#include <cstdint>

namespace vocalyn::video {

class VideoFormatSource;

// The frame state of the capture connection: the driver's format and one
// in-memory bitmap file whose pixel area every frame is written into, in
// place, so that no frame allocates. Runs on the main thread.
class FrameBuffer {
public:
    // Requests 384 x 288 at 24 bits from the capture window, reads back the
    // format the driver keeps and builds the bitmap file. A null window (no
    // capture window) does nothing; a window without a driver raises Error.
    void InitFrameBuffer(VideoFormatSource* captureWindow);
    // Re-reads the driver's format and rebuilds the bitmap file for it. Same
    // null and error cases as InitFrameBuffer.
    void ReadVideoFormat(VideoFormatSource* captureWindow);
    // Releases everything; FramePixels is null afterwards.
    void FreeFrameBuffer();

    // A copy of the driver's format block; empty before the first read.
    const QByteArray& DriverFormat() const { return driverFormat_; }
    // The driver's header fields (zeros before the first read).
    BITMAPINFOHEADER DriverHeader() const { return ReadBitmapHeader(driverFormat_); }
    // Class 0 to 8 of the driver's format (see ClassifyFormat).
    int FrameClass() const { return frameClass_; }
    // The header block inside the bitmap file: FrameHeaderSize() bytes.
    const QByteArray& FrameHeader() const { return frameHeader_; }
    int FrameHeaderSize() const { return static_cast<int>(frameHeader_.size()); }
    // The whole bitmap file: file header, FrameHeader, pixel area.
    const QByteArray& FrameStream() const { return frameStream_; }
    // The pixel area inside FrameStream; null before a read and after release.
    std::uint8_t* FramePixels() const { return framePixels_; }
    // Its size: biSizeImage of FrameHeader.
    std::uint32_t FramePixelBytes() const;

    // Lets FrameBitmap read the bitmap file as it now stands; false when it
    // cannot, and FrameBitmap then keeps what it held.
    bool ReadFrameBitmap();
    // The picture last read from the bitmap file.
    const QImage& FrameBitmap() const { return frameBitmap_; }

private:
    void RebuildStream();

    QByteArray driverFormat_;
    int frameClass_ = 0;
    QByteArray frameHeader_;
    QByteArray frameStream_;
    std::uint8_t* framePixels_ = nullptr;
    QImage frameBitmap_;
};

} // namespace vocalyn::video
