#pragma once

#include "video/capture/CaptureService.h"
#include "video/capture/PreviewWidget.h"
#include "video/conversion/FormatCodes.h"

#include <QByteArray>
#include <QImage>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>
#include <set>

namespace vocalyn::fakes {

class FakeCaptureService;

// A capture window on a scripted driver. It draws its frames into a preview
// child of its host and delivers them from a timer on the main thread, as
// a real camera does, at the preview rate.
class FakeCaptureWindow final : public video::CaptureWindow {
public:
    FakeCaptureWindow(FakeCaptureService& service, QWidget* parent, const QRect& geometry);
    ~FakeCaptureWindow() override;

    bool SetCallbackStatus(video::StatusCallback handler) override;
    bool SetCallbackFrame(video::FrameCallback handler) override;
    bool SetCallbackVideoStream(video::FrameCallback handler) override;
    bool DriverConnect(int index) override;
    bool DriverDisconnect() override;
    bool DriverGetCaps(video::CAPDRIVERCAPS& caps) override;
    bool GetSequenceSetup(video::CAPTUREPARMS& parms) override;
    bool SetSequenceSetup(const video::CAPTUREPARMS& parms) override;
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

    // Hands one frame to the preview and the frame handler now.
    void DeliverFrame();
    // Sends a status text to the status handler, as a driver does.
    void SendStatus(int id, const char* text);

    video::PreviewWidget* preview() const { return preview_; }
    bool connected() const { return connected_ >= 0; }
    bool previewing() const { return previewOn_; }
    bool hasFrameHandler() const { return bool(frame_); }
    bool hasStatusHandler() const { return bool(status_); }
    bool hasStreamHandler() const { return bool(stream_); }

private:
    void Record(const QString& request);
    void UpdateTimer();

    FakeCaptureService& service_;
    QPointer<video::PreviewWidget> preview_;
    QTimer timer_;
    video::StatusCallback status_;
    video::FrameCallback frame_;
    video::FrameCallback stream_;
    int connected_ = -1;
    int rate_ms_ = 66;
    bool previewOn_ = false;
};

// The scripted capture service: drivers at chosen indices, a format of any
// class at any size, capabilities, dialogs and failures, and a record of
// every request in order.
class FakeCaptureService final : public video::CaptureService {
public:
    FakeCaptureService();

    // --- The script ---
    // Indices with a driver; a connect elsewhere fails.
    std::set<int> drivers{0};
    // Indices whose driver will not read or will not take the parameters.
    std::set<int> unreadableParameters;
    std::set<int> refusedParameters;
    bool refuseWindow = false;
    bool refuseStatusHandler = false;
    // A connected driver that reports no format block.
    bool noFormat = false;
    // The driver keeps its format whatever it is asked for.
    bool keepsFormat = false;
    // The driver reports an image size of 0, as uncompressed formats may.
    bool reportsNoImageSize = false;
    bool hasSourceDialog = true;
    bool hasFormatDialog = true;
    // What the driver reports before the program changes anything.
    video::CAPTUREPARMS driverParms;
    // The current format; BI_BITFIELDS formats carry three 16-bit masks.
    video::BITMAPINFOHEADER format = video::FormatHeader(384, 288, 24, video::kBI_RGB, 0);
    // The format dialog's user picks this (nothing: keeps the format).
    std::optional<video::BITMAPINFOHEADER> formatDialogChoice;
    // Runs while the source dialog is open.
    std::function<void()> sourceDialogAction;

    // --- What happened ---
    // Every request, in order, e.g. "DriverConnect 0", "SetPreview 1".
    QStringList requests;
    std::optional<video::CAPTUREPARMS> writtenParms;
    int framesDelivered = 0;

    // The capture window now open; null when none is.
    FakeCaptureWindow* window() const { return window_; }

    std::unique_ptr<video::CaptureWindow> CreateCaptureWindow(const QString& windowName,
                                                              QWidget* parent,
                                                              const QRect& geometry,
                                                              int id) override;

    // The test pattern: colour bars with a white block that moves one step
    // per frame, so consecutive frames differ.
    static QImage PatternImage(int width, int height, int frameNumber);
    // The pattern encoded in a format, laid out as a driver delivers it.
    // Formats of class 0 become a JPEG file.
    static QByteArray PatternFrame(const video::BITMAPINFOHEADER& format, int frameNumber);
    // The format block the driver reports for a format.
    static QByteArray FormatBlockOf(const video::BITMAPINFOHEADER& format);

private:
    friend class FakeCaptureWindow;
    FakeCaptureWindow* window_ = nullptr;
};

} // namespace vocalyn::fakes
