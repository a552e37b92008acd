#include "video/capture/VideoCap.h"

#include "base/Log.h"
#include "video/conversion/FrameBuffer.h"

namespace vocalyn::video {

VideoCap::VideoCap(CaptureService& service, VideoCapHost host)
    : service_(service), host_(std::move(host)), frames_(std::make_unique<FrameBuffer>()) {
    followFormat_.setSingleShot(true);
    followFormat_.setInterval(0);
    QObject::connect(&followFormat_, &QTimer::timeout, [this] { FollowVideoFormat(); });
}

VideoCap::~VideoCap() {
    CloseCaptureWindow();
}

void VideoCap::SetCaptureHost(QWidget* panel) {
    captureHost_ = panel;
}

void VideoCap::SetStatusLabel(std::function<void(const QString& text)> statusLabel) {
    statusLabel_ = std::move(statusLabel);
}

bool VideoCap::CreateCaptureWindow() {
    if (!captureHost_)
        return false;
    window_ =
        service_.CreateCaptureWindow(QStringLiteral("Brelle Soft"), captureHost_,
                                     QRect(0, 0, captureHost_->width(), captureHost_->height()), 0);
    if (!window_ || !window_->SetCallbackStatus({}) ||
        !window_->SetCallbackStatus(
            [this](int id, const char* text) { return StatusHandler(id, text); })) {
        CloseCaptureWindow();
        window_.reset();
        return false;
    }
    window_->SetCallbackVideoStream(
        [this](const CameraFrame& frame) { return StreamHandler(frame); });
    window_->SetCallbackFrame([this](const CameraFrame& frame) { return FrameHandler(frame); });
    // The search goes on only past a driver that connects but refuses the parameters.
    for (int index = 0; index < kDriverCount; ++index)
        if (ConnectDriver(index))
            break;
    return true;
}

bool VideoCap::ConnectDriver(int index) {
    if (!window_)
        return false;
    try {
        if (!window_->DriverConnect(index))
            return true;
        CAPTUREPARMS parms;
        if (!window_->GetSequenceSetup(parms))
            return true;
        parms.dwRequestMicroSecPerFrame = 66667; // 15 frames a second
        parms.fLimitEnabled = false;
        parms.fCaptureAudio = true;
        parms.fMCIControl = false;
        parms.fYield = true;
        parms.vKeyAbort = 27; // Escape
        parms.fAbortLeftMouse = false;
        parms.fAbortRightMouse = false;
        return window_->SetSequenceSetup(parms);
    } catch (...) {
        LogSwallowed(lcVideo(), "connecting a camera driver");
        return false;
    }
}

void VideoCap::StartPreview() {
    if (!window_)
        return;
    window_->SetScale(true);
    window_->SetPreviewRate(kPreviewRate_ms);
    window_->SetOverlay(false);
    window_->SetPreview(true);
}

void VideoCap::AbortCapture() {
    if (window_)
        window_->Abort();
}

void VideoCap::CloseCaptureWindow() {
    if (!window_)
        return;
    window_->SetCallbackStatus({});
    window_->SetCallbackFrame({});
    window_->DriverDisconnect();
    window_.reset();
}

int VideoCap::StatusHandler(int id, const char* text) {
    lastStatusId_ = id;
    if (id == kStatusStreaming)
        followFormat_.start();
    if (statusLabel_)
        statusLabel_(QString::fromLocal8Bit(text ? text : ""));
    return 1;
}

CAPDRIVERCAPS VideoCap::DriverCaps() {
    CAPDRIVERCAPS caps; // a failed request leaves it zero: no dialogs
    if (window_ && !window_->DriverGetCaps(caps))
        caps = {};
    return caps;
}

bool VideoCap::HasSourceDialog() {
    return window_ && DriverCaps().fHasDlgVideoSource != 0;
}

bool VideoCap::HasFormatDialog() {
    return window_ && DriverCaps().fHasDlgVideoFormat != 0;
}

void VideoCap::ShowSourceDialog() {
    if (window_)
        window_->DlgVideoSource();
}

void VideoCap::ShowFormatDialog() {
    if (window_)
        window_->DlgVideoFormat();
}

} // namespace vocalyn::video
