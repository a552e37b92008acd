#pragma once

#include "video/transport/JpegCodec.h"

#include <QImage>

namespace vocalyn::video {

class FrameBuffer;

// The 24-bit picture of the frame now in the frame buffer, ready for the encoder. When the
// bitmap file's pixel area is plain 24- or 32-bit rows (every converted format, and RGB
// drivers), the picture is a view of that area itself: reading the bitmap file and drawing it
// onto a new picture would give the same pixels. Any other format goes the long way: the bitmap
// file is read, and the last picture read is drawn onto a picture of the driver's size.
class FramePicture {
public:
    enum class Reading {
        Direct = 1, // a view of the pixel area
        Bitmap,     // the bitmap file read and drawn
        Unreadable, // the bitmap file could not be read: the last one read (or black) is drawn
    };

    // The last steps of PrepareFrame, after the frame has been written into the buffer.
    Reading PrepareFrame(const FrameBuffer& frames);

    // The picture; empty when the driver's format has no pixels to show.
    const PictureView& picture() const { return picture_; }

private:
    PictureView picture_;
    QImage bitmap_;    // the last bitmap file that could be read
    QImage picture24_; // the drawn picture of the long way
};

} // namespace vocalyn::video
