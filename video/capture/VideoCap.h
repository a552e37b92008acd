#pragma once

#include "video/capture/CaptureService.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace vocalyn::video {

class FrameBuffer;

// Where the capture connection shows itself: a panel and a status line, nothing more.
struct VideoCapHost {
    // Hosts the capture window; none means no preview and no frames.
    QWidget* pnlVideoArea = nullptr;
    // Makes a text the caption of lblVideoArea and repaints it at once.
    std::function<void(const QString& text)> showStatus;
};

// The capture connection: one capture window in the main window's small
// panel, connected to the first camera driver, previewing, its frames passed
// on and converted into the frame buffer when their picture is used.
// Everything runs on the main thread.
class VideoCap {
public:
    VideoCap(CaptureService& service, VideoCapHost host);
    ~VideoCap();
    VideoCap(const VideoCap&) = delete;
    VideoCap& operator=(const VideoCap&) = delete;

    static const QString kWebCamNotFound;

    // Opens the capture connection, once, when the main window is first
    // shown. Reports its own failures in a box; true when the frame buffer is
    // up (a camera streams, or will once it is free or plugged in).
    bool StartVideo();
    // Closes the capture connection when the main window closes.
    void StopVideo();

    void SetCaptureHost(QWidget* panel);
    void SetStatusLabel(std::function<void(const QString& text)> statusLabel);
    // Makes the capture window and connects it to a driver; false when no
    // window could be made.
    bool CreateCaptureWindow();
    // One step of the driver search: true ends the search.
    bool ConnectDriver(int index);
    void StartPreview();
    void AbortCapture();
    void CloseCaptureWindow();

    // Handlers registered with the capture window. The frame handlers pass on each frame of
    // the driver's current format whose class is known; they convert nothing.
    int StatusHandler(int id, const char* text);
    int FrameHandler(const CameraFrame& frame);
    int StreamHandler(const CameraFrame& frame);

    // The picture of a frame, top row first, converted into the frame buffer where it cannot
    // be used as it lies (FrameBuffer::Picture); empty for a frame not of the current format.
    PictureView PrepareFrame(const CameraFrame& frame);

    // The frame buffer: the driver's format and the picture frames are converted into.
    void InitFrameBuffer();
    // Brings the frame buffer to the driver's format after a stream (re)start:
    // a camera found after the start, or back with another format.
    void FollowVideoFormat();
    void ReadVideoFormat();
    void FreeFrameBuffer();
    const FrameBuffer& frames() const { return *frames_; }

    // The driver's dialogs, for the video options dialog.
    bool HasSourceDialog();
    bool HasFormatDialog();
    void ShowSourceDialog();
    void ShowFormatDialog();

    // The capture window; null while closed.
    CaptureWindow* captureWindow() const { return window_.get(); }

    // Run for each frame the frame buffer accepts; frames of an unknown format, or of another
    // format than the current one, never get here.
    std::function<void(const CameraFrame& frame)> OnPreviewFrame;
    std::function<void(const CameraFrame& frame)> OnStreamFrame;

    static constexpr int kDriverCount = 10;
    static constexpr int kPreviewRate_ms = 33;

private:
    void ShowErrorBox(const QString& text);
    CAPDRIVERCAPS DriverCaps();

    CaptureService& service_;
    VideoCapHost host_;
    bool started_ = false; // the frame buffer is up
    std::unique_ptr<CaptureWindow> window_;
    QPointer<QWidget> captureHost_;
    std::function<void(const QString&)> statusLabel_;
    std::unique_ptr<FrameBuffer> frames_;
    int lastStatusId_ = 0; // of the driver's last status text
    // The status handler may run inside a format request, so the frame buffer
    // follows a new stream from the event loop.
    QTimer followFormat_;
};

} // namespace vocalyn::video
