#pragma once

#include "video/capture/CaptureService.h"
#include "video/capture/PreviewImage.h"
#include "video/capture/PreviewWidget.h"
#include "video/capture/v4l2/PreviewPacer.h"
#include "video/conversion/BitmapFile.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <linux/videodev2.h>

#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;

namespace vocalyn::video::v4l2 {

class StreamBuffers;
class V4l2Device;

// A capture window on a V4L2 device: driver index N is the node made from
// the path pattern (/dev/videoN). Frames are read with mmap streaming when
// the device's descriptor turns readable, so they reach the handlers on the
// main thread and nothing ever waits for the camera. A camera that cannot
// stream (held by another program, a format too big for its port) or that goes
// away is tried again on a timer until it streams, with the format the program
// asked for last, so a camera plugged in (again) later is taken up by itself.
class V4l2CaptureWindow final : public CaptureWindow {
public:
    V4l2CaptureWindow(QWidget* parent, const QRect& geometry, const QString& windowName,
                      QString pathPattern);
    ~V4l2CaptureWindow() override;

    bool SetCallbackStatus(StatusCallback handler) override;
    bool SetCallbackFrame(FrameCallback handler) override;
    bool SetCallbackVideoStream(FrameCallback handler) override;
    bool DriverConnect(int index) override;
    bool DriverDisconnect() override;
    bool DriverGetCaps(CAPDRIVERCAPS& caps) override;
    bool GetSequenceSetup(CAPTUREPARMS& parms) override;
    bool SetSequenceSetup(const CAPTUREPARMS& parms) override;
    std::uint32_t GetVideoFormatSize() override;
    std::uint32_t GetVideoFormat(std::span<std::byte> block) override;
    bool SetVideoFormat(std::span<const std::byte> block) override;
    bool SetScale(bool stretch) override;
    bool SetPreviewRate(int rate_ms) override;
    bool SetOverlay(bool on) override;
    bool SetPreview(bool on) override;
    bool Abort() override;
    bool DlgVideoSource() override;
    bool DlgVideoFormat() override;

    PreviewWidget* preview() const { return preview_; }

    // Without a frame for this long the status line says so.
    static constexpr int kSilence_ms = 5000;
    // Waits before trying again: the first, doubled after each failure up to the most.
    static constexpr int kRetryFirst_ms = 2000;
    static constexpr int kRetryMost_ms = 8000;

private:
    // The program's last format request, made again on a camera that comes back.
    struct FormatRequest {
        std::optional<BITMAPINFOHEADER> header; // mapped anew onto each camera
        std::uint32_t pixelFormat = 0;          // else the format dialog's choice
        int width = 0;
        int height = 0;
    };

    bool Open(int index, bool report);
    void Release();
    bool ApplyRequest();
    void ScheduleRetry();
    void Retry();
    bool ReadFormat(v4l2_pix_format& pix);
    bool ApplyFormat(std::uint32_t pixelFormat, int width, int height);
    void RequestFrameInterval(std::uint32_t microseconds);
    bool StartStreaming();
    void StopStreaming();
    void ReadFrame();
    void DeviceLost();
    void Status(int id, const QString& text);
    QString FormatText() const;
    QWidget* DialogParent() const;

    QPointer<PreviewWidget> preview_;
    QString pathPattern_;
    // Shared with an open driver dialog, which must not outlive it.
    std::shared_ptr<V4l2Device> device_;
    QString cardName_;
    int index_ = -1;
    int wantedIndex_ = -1; // the driver the program connected, kept while its camera is away
    std::optional<FormatRequest> requested_;
    QTimer retry_;
    int retryDelay_ms_ = kRetryFirst_ms;
    bool retrying_ = false; // a retry repeats no status text the line already shows
    QString lastStatus_;
    int previewRate_ms_ = 0;
    v4l2_pix_format pix_{};         // the format being streamed
    BITMAPINFOHEADER streamFormat_; // and how its frames are laid out once packed

    std::unique_ptr<StreamBuffers> stream_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::vector<std::vector<std::uint8_t>> scratch_; // one per buffer: handlers may nest
    unsigned held_ = 0;                              // buffers out with a handler
    unsigned generation_ = 0;                        // counts stream starts
    int failures_ = 0;
    bool silent_ = false; // the status line says "no picture"
    QElapsedTimer clock_;
    std::int64_t lastFrame_ms_ = 0; // on clock_
    QTimer silence_;
    PreviewPacer pacer_;
    PreviewMaker previews_;

    StatusCallback status_;
    FrameCallback frame_;
    CAPTUREPARMS parms_;
    bool previewOn_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace vocalyn::video::v4l2
