// Opening and closing the capture connection with the main window.
#include "video/capture/VideoCap.h"

#include "base/Error.h"
#include "net/TIdUDPServer.h"
#include "widgets/MessageBoxes.h"

#include <QWidget>

namespace vocalyn::video {

const QString VideoCap::kWebCamNotFound =
    QStringLiteral("WebCam not found. Try using a different codec eg. YUV2, RGB, or I420.");

void VideoCap::StartVideo() {
    host_.VideoStarted = false;
    try {
        SetCaptureHost(host_.pnlVideoArea);
        SetStatusLabel(host_.showStatus);
        if (CreateCaptureWindow())
            StartPreview();
        InitFrameBuffer();
    } catch (...) {
        // A camera another program holds is no missing one: the driver said so, and takes it
        // up once it is free.
        if (lastStatusId_ != kStatusBusy) {
            // The status line would otherwise keep its design-time text for the whole run.
            if (host_.showStatus)
                host_.showStatus(QStringLiteral("No camera"));
            ShowErrorBox(kWebCamNotFound);
        }
        // Without a camera the peer's picture can still be shown.
        OpenVideoListener();
        return;
    }
    try {
        host_.UDPServer1.setActive(true);
    } catch (const Error& error) {
        // The endpoint's own words point at the port, not at a camera.
        ShowErrorBox(error.message());
        return;
    } catch (...) {
        ShowErrorBox(kWebCamNotFound);
        return;
    }
    host_.PeerHostLearned = false;
    host_.VideoStarted = true;
}

void VideoCap::StopVideo() {
    if (host_.VideoStarted)
        FreeFrameBuffer();
    AbortCapture();
    CloseCaptureWindow();
}

void VideoCap::OpenVideoListener() {
    try {
        host_.UDPServer1.setActive(true);
    } catch (const Error& error) {
        ShowErrorBox(error.message());
    } catch (...) {
        ShowErrorBox(kWebCamNotFound);
    }
}

void VideoCap::ShowErrorBox(const QString& text) {
    QWidget* parent = host_.pnlVideoArea ? host_.pnlVideoArea->window() : nullptr;
    vocalyn::ShowErrorBox(parent, text);
}

} // namespace vocalyn::video
