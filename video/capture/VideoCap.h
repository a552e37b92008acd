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
// panel, connected to the first camera driver, previewing, its frames
// converted into the frame buffer. Everything runs on the main thread.
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

    // Handlers registered with the capture window.
    int StatusHandler(int id, const char* text);
    int FrameHandler(const VIDEOHDR& frame);
    int StreamHandler(const VIDEOHDR& frame);

    // The frame buffer into which every frame is converted.
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

    // Run after a frame has been converted into the frame buffer; frames the
    // buffer cannot take (an unknown format) never get here.
    std::function<void(const VIDEOHDR& frame)> OnPreviewFrame;
    std::function<void(const VIDEOHDR& frame)> OnStreamFrame;

    static constexpr int kDriverCount = 10;
    static constexpr int kPreviewRate_ms = 33;

private:
    // Converts a frame into the frame buffer; false when it is dropped.
    bool PrepareFrame(const VIDEOHDR& frame);
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
