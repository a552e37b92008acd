// The frame buffer of the capture connection and the frame handlers that pass
// its frames on.
#include "video/capture/VideoCap.h"

#include "base/Log.h"
#include "video/conversion/FrameBuffer.h"

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

PictureView VideoCap::PrepareFrame(const CameraFrame& frame) {
    return frames_->Picture(frame);
}

int VideoCap::FrameHandler(const CameraFrame& frame) {
    if (frames_->Accepts(frame) && OnPreviewFrame)
        OnPreviewFrame(frame);
    return 1;
}

// Registered as the design has it, though the capture services here never stream.
int VideoCap::StreamHandler(const CameraFrame& frame) {
    if (frames_->Accepts(frame) && OnStreamFrame)
        OnStreamFrame(frame);
    return 1;
}

} // namespace vocalyn::video
