#pragma once

#include "video/capture/CaptureBlocks.h"
#include "video/conversion/CameraFrame.h"
#include "video/conversion/VideoFormatSource.h"

#include <QRect>
#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace vocalyn::video {

// Status texts from the driver: an id and a zero-terminated 8-bit text. The
// result is handed back to the driver and means nothing to it.
using StatusCallback = std::function<int(int id, const char* text)>;

// The ids of the status texts a driver may send; a driver may send others,
// which only carry their text.
enum CaptureStatusId : int {
    kStatusConnected = 1,
    // Frames flow (again), perhaps in another format than before: a camera
    // that came back starts afresh.
    kStatusStreaming = 2,
    kStatusNoPicture = 3, // connected, but no frames come
    kStatusLost = 4,      // the camera has gone
    kStatusBusy = 5,      // another program holds the camera
};
// One captured frame in the driver's current format.
using FrameCallback = std::function<int(const CameraFrame& frame)>;

// A capture window: a child of a host widget in which the capture service
// draws the live camera picture, and through which the program talks to one
// capture driver. Each operation is one request to the service; a false (or
// 0) result means the request failed. All of it runs on the main thread, and
// the service calls the registered handlers there too, from the event loop
// or any nested one. Destroying the window removes it from its host. The
// format requests (the size of the format block, reading it, asking for
// another) come from VideoFormatSource.
class CaptureWindow : public VideoFormatSource {
public:
    // Registers a handler; an empty one unregisters the previous handler.
    virtual bool SetCallbackStatus(StatusCallback handler) = 0;
    // The handler for each preview frame.
    virtual bool SetCallbackFrame(FrameCallback handler) = 0;
    // The handler for each frame of a streamed capture (to a file).
    virtual bool SetCallbackVideoStream(FrameCallback handler) = 0;

    // Connects the window to the driver with this index (0 to 9),
    // disconnecting a driver connected before.
    virtual bool DriverConnect(int index) = 0;
    virtual bool DriverDisconnect() = 0;
    // Fills caps with what the connected driver offers.
    virtual bool DriverGetCaps(CAPDRIVERCAPS& caps) = 0;

    // Reads and writes the parameters of streamed capture.
    virtual bool GetSequenceSetup(CAPTUREPARMS& parms) = 0;
    virtual bool SetSequenceSetup(const CAPTUREPARMS& parms) = 0;

    // Stretches the preview to the window's size (true) or shows it at its
    // own size in the top left corner (false).
    virtual bool SetScale(bool stretch) = 0;
    // At most one preview frame per rate_ms milliseconds.
    virtual bool SetPreviewRate(int rate_ms) = 0;
    // Hardware overlay of the picture, where the driver has one.
    virtual bool SetOverlay(bool on) = 0;
    // Preview on: each frame is shown and handed to the frame handler. While it
    // is on, a driver may go on trying a camera that cannot stream yet, has gone
    // or was not there at the connect, and then sends kStatusStreaming.
    virtual bool SetPreview(bool on) = 0;
    // Stops a streamed capture; the preview is not affected.
    virtual bool Abort() = 0;

    // The driver's own modal dialogs; each returns when its user closes it.
    virtual bool DlgVideoSource() = 0;
    virtual bool DlgVideoFormat() = 0;
};

// The platform's capture service: makes capture windows.
class CaptureService {
public:
    virtual ~CaptureService() = default;

    // A visible capture window named windowName, placed at geometry inside
    // parent; null when the service refuses.
    virtual std::unique_ptr<CaptureWindow> CreateCaptureWindow(const QString& windowName,
                                                               QWidget* parent,
                                                               const QRect& geometry, int id) = 0;
};

} // namespace vocalyn::video
