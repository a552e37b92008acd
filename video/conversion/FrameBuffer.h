#pragma once

#include "video/conversion/CameraFrame.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <vector>

namespace vocalyn::video {

class VideoFormatSource;

// The driver's format as the frame path needs it, read once from the format block.
struct FrameFormat {
    // How a frame of this format becomes the picture the encoder takes.
    enum class Reading {
        None = 0,   // class 0: frames are ignored
        Direct,     // 24- or 32-bit RGB rows, taken where they lie
        Converted,  // a YUV layout, converted into the frame buffer
        Masked,     // 16- or 32-bit RGB under bit masks (or 5-5-5), expanded into the buffer
        Indexed,    // 8-bit colour indices with the driver's colour table
        Unreadable, // RGB in a layout nothing here reads: the picture is the last one made
    };

    int width = 0;
    int height = 0;        // rows
    bool bottomUp = false; // RGB rows stored from the bottom row up (a positive biHeight)
    int frameClass = 0;    // see ClassifyFormat
    int bitCount = 0;
    std::uint32_t compression = 0; // biCompression
    // The bytes of one row and of a whole frame, as the driver lays them out.
    std::size_t rowBytes = 0;
    std::size_t frameBytes = 0;
    Reading reading = Reading::None;
    // For Masked: each channel's mask (red, green, blue); for Indexed: the colour table, as
    // blue, green, red, 0 pixels.
    std::array<std::uint32_t, 3> masks{};
    std::vector<std::uint32_t> colours;

    // Whether a frame in this format gives a picture (class 0 gives none and says nothing).
    bool readable() const { return reading != Reading::Unreadable; }
};

// Reads a driver's format block (a BITMAPINFO: the header and whatever colour table or masks
// follow). Raises Error for a size no frame buffer can hold.
FrameFormat ReadFrameFormat(const QByteArray& block);

// The frame state of the capture connection: the driver's format, and one 32-bit picture that
// frames which cannot be used where they lie are converted into, in place, so that no frame
// allocates. Runs on the main thread.
class FrameBuffer {
public:
    // Requests 384 x 288 at 24 bits from the capture window and reads back the format the
    // driver keeps. A null window (no capture window) does nothing; a window without a driver
    // raises Error.
    void InitFrameBuffer(VideoFormatSource* captureWindow);
    // Re-reads the driver's format. Same null and error cases as InitFrameBuffer; a format
    // refused leaves the last good one.
    void ReadVideoFormat(VideoFormatSource* captureWindow);
    // Releases everything; no frame is taken afterwards.
    void FreeFrameBuffer();

    // A copy of the driver's format block; empty before the first read.
    const QByteArray& DriverFormat() const { return driverFormat_; }
    const FrameFormat& format() const { return format_; }
    // Class 0 to 8 of the driver's format (see ClassifyFormat).
    int FrameClass() const { return format_.frameClass; }

    // Whether a frame is a whole one of the current format with a class that is not 0.
    bool Accepts(const CameraFrame& frame) const;
    // The frame's picture, top row first: the frame's own rows where the encoder takes them as
    // they lie, else converted into the frame buffer. An unreadable format gives the last picture
    // the buffer made, at (0, 0) on black. Empty for a frame Accepts refuses.
    PictureView Picture(const CameraFrame& frame);

private:
    void MakeBuffer();

    QByteArray driverFormat_;
    FrameFormat format_;
    bool live_ = false; // a format has been read and not released
    // The converted picture: rows width * 4 bytes apart, top row first.
    std::vector<std::uint8_t> picture_;
    int pictureWidth_ = 0;
    int pictureHeight_ = 0;
};

} // namespace vocalyn::video
