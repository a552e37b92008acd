// Opening and closing the capture connection with the main window.
#include "video/capture/VideoCap.h"

#include "base/Log.h"
#include "widgets/MessageBoxes.h"

#include <QWidget>

namespace vocalyn::video {

const QString VideoCap::kWebCamNotFound =
    QStringLiteral("WebCam not found. Try using a different codec eg. YUV2, RGB, or I420.");

bool VideoCap::StartVideo() {
    started_ = false;
    try {
        SetCaptureHost(host_.pnlVideoArea);
        SetStatusLabel(host_.showStatus);
        if (CreateCaptureWindow())
            StartPreview();
        InitFrameBuffer();
    } catch (...) {
        // A camera another program holds is no missing one: the driver said so, and takes it
        // up once it is free.
        LogSwallowed(lcVideo(), "starting the camera");
        if (lastStatusId_ != kStatusBusy) {
            // The status line would otherwise keep its design-time text for the whole run.
            if (host_.showStatus)
                host_.showStatus(QStringLiteral("No camera"));
            ShowErrorBox(kWebCamNotFound);
        }
        return false;
    }
    started_ = true;
    return true;
}

void VideoCap::StopVideo() {
    if (started_)
        FreeFrameBuffer();
    AbortCapture();
    CloseCaptureWindow();
}

void VideoCap::ShowErrorBox(const QString& text) {
    QWidget* parent = host_.pnlVideoArea ? host_.pnlVideoArea->window() : nullptr;
    vocalyn::ShowErrorBox(parent, text);
}

} // namespace vocalyn::video
