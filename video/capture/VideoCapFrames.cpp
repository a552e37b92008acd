// The frame buffer of the capture connection and the frame handlers that
// fill it.
#include "video/capture/VideoCap.h"

#include "base/Log.h"
#include "video/conversion/FrameBuffer.h"
#include "video/conversion/YUVConverters.h"

#include <algorithm>
#include <cstring>

namespace vocalyn::video {

void VideoCap::InitFrameBuffer() {
    frames_->InitFrameBuffer(window_.get());
}

void VideoCap::ReadVideoFormat() {
    frames_->ReadVideoFormat(window_.get());
}

void VideoCap::FollowVideoFormat() {
    if (!window_)
        return;
    try {
        // Without a format the program started without a camera, and asks for its own now.
        if (frames_->DriverFormat().isEmpty())
            InitFrameBuffer();
        else
            ReadVideoFormat();
    } catch (...) {
        // A camera gone again meanwhile: the buffer keeps the last good format.
        LogSwallowed(lcVideo(), "following a new camera stream");
    }
}

void VideoCap::FreeFrameBuffer() {
    frames_->FreeFrameBuffer();
}

bool VideoCap::PrepareFrame(const VIDEOHDR& frame) {
    std::uint8_t* pixels = frames_->FramePixels();
    const int frameClass = frames_->FrameClass();
    if (!pixels || !frame.lpData || frameClass == kClassUnknown)
        return false;
    if (frameClass == kClassRGB) {
        // The pixel area's size is the driver's image size, or the one the frame buffer worked
        // out when the driver left it 0. Never past the end of the frame.
        const std::size_t size =
            std::min<std::size_t>(frames_->FramePixelBytes(), frame.dwBytesUsed);
        std::memcpy(pixels, frame.lpData, size);
        return true;
    }
    const BITMAPINFOHEADER driver = frames_->DriverHeader();
    // A short frame would be read past its end.
    if (frame.dwBytesUsed < SourceFrameBytes(frameClass, driver.biWidth, driver.biHeight))
        return false;
    return ConvertFrame(frameClass, frame.lpData, pixels, driver.biWidth, driver.biHeight);
}

int VideoCap::FrameHandler(const VIDEOHDR& frame) {
    if (PrepareFrame(frame) && OnPreviewFrame)
        OnPreviewFrame(frame);
    return 1;
}

// Never called: the program only previews and never starts streaming capture.
int VideoCap::StreamHandler(const VIDEOHDR& frame) {
    if (PrepareFrame(frame) && OnStreamFrame)
        OnStreamFrame(frame);
    return 1;
}

} // namespace vocalyn::video
