#include "video/capture/v4l2/V4l2CaptureWindow.h"

#include "video/capture/PreviewImage.h"
#include "video/capture/PreviewWidget.h"
#include "video/capture/v4l2/FormatChoices.h"
#include "video/capture/v4l2/FormatDialog.h"
#include "video/capture/v4l2/FormatMapping.h"
#include "video/capture/v4l2/SourceDialog.h"
#include "video/capture/v4l2/StreamBuffers.h"
#include "video/capture/v4l2/V4l2Device.h"
#include "widgets/ErrorReport.h"

#include <QApplication>
#include <QScopeGuard>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vocalyn::video::v4l2 {

namespace {

constexpr unsigned kBufferCount = 4;
// Spoilt frames in a row after which the device counts as broken.
constexpr int kMaxFailures = 30;

QString FixedText(const __u8* text, std::size_t size) {
    const auto* begin = reinterpret_cast<const char*>(text);
    return QString::fromUtf8(begin, qstrnlen(begin, size));
}

// What a fresh driver reports before anyone changes it.
CAPTUREPARMS DefaultParms() {
    CAPTUREPARMS parms;
    parms.dwRequestMicroSecPerFrame = 66667;
    parms.wPercentDropForError = 10;
    parms.dwIndexSize = 34952;
    parms.wNumVideoRequested = kBufferCount;
    parms.fCaptureAudio = 1;
    parms.wNumAudioRequested = 4;
    parms.vKeyAbort = 0x1B;
    parms.fAbortLeftMouse = 1;
    parms.fAbortRightMouse = 1;
    parms.wTimeLimit = 30;
    parms.wStepCaptureAverageFrames = 3;
    return parms;
}

} // namespace

V4l2CaptureWindow::V4l2CaptureWindow(QWidget* parent, const QRect& geometry,
                                     const QString& windowName, QString pathPattern)
    : preview_(new PreviewWidget(parent)), pathPattern_(std::move(pathPattern)),
      parms_(DefaultParms()) {
    preview_->setObjectName(QStringLiteral("CaptureWindow"));
    preview_->setWindowTitle(windowName);
    preview_->setGeometry(geometry);
    preview_->show();
    silence_.setSingleShot(true);
    // Not restarted for every frame (a timer restart 30 times a second costs more than the
    // check): when it runs out it waits again for whatever is left since the last frame.
    QObject::connect(&silence_, &QTimer::timeout, Guarded([this] {
        const qint64 left = lastFrame_ms_ + kSilence_ms - clock_.elapsed();
        if (left > 0) {
            silence_.start(int(left));
            return;
        }
        silent_ = true;
        Status(kStatusNoPicture, QStringLiteral("%1: no picture").arg(cardName_));
    }));
    retry_.setSingleShot(true);
    QObject::connect(&retry_, &QTimer::timeout, Guarded([this] { Retry(); }));
}

V4l2CaptureWindow::~V4l2CaptureWindow() {
    *alive_ = false;
    DriverDisconnect();
    delete preview_.data();
}

bool V4l2CaptureWindow::SetCallbackStatus(StatusCallback handler) {
    status_ = std::move(handler);
    return true;
}

bool V4l2CaptureWindow::SetCallbackFrame(FrameCallback handler) {
    frame_ = std::move(handler);
    return true;
}

bool V4l2CaptureWindow::SetCallbackVideoStream(FrameCallback handler) {
    // This service never runs a streamed capture, so a handler for one would never be called:
    // only unregistering succeeds.
    return !handler;
}

bool V4l2CaptureWindow::DriverConnect(int index) {
    DriverDisconnect();
    if (index < 0)
        return false;
    wantedIndex_ = index;
    const bool connected = Open(index, true);
    if (connected && previewOn_)
        StartStreaming();
    ScheduleRetry();
    return connected;
}

bool V4l2CaptureWindow::Open(int index, bool report) {
    std::shared_ptr<V4l2Device> device = V4l2Device::Open(pathPattern_.arg(index));
    if (!device) {
        // Some drivers let one program at a time open the node.
        if (errno == EBUSY)
            Status(kStatusBusy,
                   QStringLiteral("%1 is in use by another program").arg(pathPattern_.arg(index)));
        return false;
    }
    v4l2_capability caps{};
    if (device->Ioctl(VIDIOC_QUERYCAP, &caps) != 0)
        return false;
    const std::uint32_t offered =
        (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
    // Metadata and output nodes of a camera are no capture drivers.
    if (!(offered & V4L2_CAP_VIDEO_CAPTURE) || !(offered & V4L2_CAP_STREAMING))
        return false;
    device_ = std::move(device);
    index_ = index;
    cardName_ = FixedText(caps.card, sizeof caps.card);
    ReadFormat(pix_);
    if (!report) {
        // A camera back after a loss gets the program's setup again, not a fresh driver's.
        RequestFrameInterval(previewRate_ms_ > 0
                                 ? static_cast<std::uint32_t>(previewRate_ms_) * 1000
                                 : parms_.dwRequestMicroSecPerFrame);
        return true;
    }
    parms_ = DefaultParms();
    v4l2_streamparm stream{};
    stream.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    const v4l2_fract& interval = stream.parm.capture.timeperframe;
    if (device_->Ioctl(VIDIOC_G_PARM, &stream) == 0 && interval.denominator != 0)
        parms_.dwRequestMicroSecPerFrame = static_cast<std::uint32_t>(
            std::llround(1e6 * interval.numerator / interval.denominator));
    Status(kStatusConnected,
           QStringLiteral("Connected to %1 (%2)").arg(cardName_, device_->path()));
    return true;
}

bool V4l2CaptureWindow::DriverDisconnect() {
    wantedIndex_ = -1;
    retry_.stop();
    retryDelay_ms_ = kRetryFirst_ms;
    const bool connected = device_ != nullptr;
    Release();
    return connected;
}

void V4l2CaptureWindow::Release() {
    StopStreaming();
    device_.reset();
    index_ = -1;
    if (preview_)
        preview_->ShowFrame(QImage());
}

bool V4l2CaptureWindow::DriverGetCaps(CAPDRIVERCAPS& caps) {
    if (!device_)
        return false;
    caps = {};
    caps.wDeviceIndex = static_cast<std::uint32_t>(index_);
    caps.fCaptureInitialized = 1;
    v4l2_fmtdesc format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    caps.fHasDlgVideoFormat = device_->Ioctl(VIDIOC_ENUM_FMT, &format) == 0;
    caps.fHasDlgVideoSource = !QueryControls(*device_).empty();
    return true;
}

bool V4l2CaptureWindow::GetSequenceSetup(CAPTUREPARMS& parms) {
    if (!device_)
        return false;
    parms = parms_;
    return true;
}

bool V4l2CaptureWindow::SetSequenceSetup(const CAPTUREPARMS& parms) {
    if (!device_)
        return false;
    parms_ = parms;
    // The device has one stream; its frame interval is the closest thing to
    // the capture rate. A device that keeps its own rate is no failure.
    RequestFrameInterval(parms.dwRequestMicroSecPerFrame);
    return true;
}

void V4l2CaptureWindow::RequestFrameInterval(std::uint32_t microseconds) {
    if (!device_ || microseconds == 0)
        return;
    v4l2_streamparm stream{};
    stream.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (device_->Ioctl(VIDIOC_G_PARM, &stream) != 0 ||
        !(stream.parm.capture.capability & V4L2_CAP_TIMEPERFRAME))
        return;
    stream.parm.capture.timeperframe = {microseconds, 1000000};
    device_->Ioctl(VIDIOC_S_PARM, &stream);
}

bool V4l2CaptureWindow::ReadFormat(v4l2_pix_format& pix) {
    if (!device_)
        return false;
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (device_->Ioctl(VIDIOC_G_FMT, &format) != 0)
        return false;
    pix = format.fmt.pix;
    return true;
}

std::uint32_t V4l2CaptureWindow::GetVideoFormatSize() {
    v4l2_pix_format pix{};
    return ReadFormat(pix) ? kBitmapInfoHeaderSize : 0;
}

std::uint32_t V4l2CaptureWindow::GetVideoFormat(std::span<std::byte> block) {
    v4l2_pix_format pix{};
    if (!ReadFormat(pix))
        return 0;
    const QByteArray header = BitmapHeaderBytes(FormatFromPixFormat(pix));
    const std::size_t size = std::min(block.size(), static_cast<std::size_t>(header.size()));
    std::memcpy(block.data(), header.constData(), size);
    return static_cast<std::uint32_t>(size);
}

bool V4l2CaptureWindow::SetVideoFormat(std::span<const std::byte> block) {
    const std::optional<BITMAPINFOHEADER> format = ReadFormatHeader(block);
    if (!format || !PixelFormatFor(*format) || format->biWidth <= 0 || format->biHeight == 0)
        return false;
    // Kept for a camera found later, which starts in a format of its own.
    requested_ = FormatRequest{.header = *format};
    if (!device_)
        return false;
    const bool accepted = ApplyRequest();
    // A stream that failed in the old format may work in this one.
    if (previewOn_)
        StartStreaming();
    return accepted;
}

bool V4l2CaptureWindow::ApplyRequest() {
    if (!device_ || !requested_)
        return false;
    if (!requested_->header)
        return ApplyFormat(requested_->pixelFormat, requested_->width, requested_->height);
    const BITMAPINFOHEADER& format = *requested_->header;
    const int width = format.biWidth;
    const int height = format.biHeight == INT_MIN ? INT_MAX : std::abs(format.biHeight);
    return ApplyFormat(StreamPixelFormat(*device_, PixelFormatFor(format).value_or(0),
                                         static_cast<std::uint32_t>(width),
                                         static_cast<std::uint32_t>(height)),
                       width, height);
}

bool V4l2CaptureWindow::ApplyFormat(std::uint32_t pixelFormat, int width, int height) {
    // Buffers of the old size must go before the device takes a new one; the
    // caller starts the stream again.
    StopStreaming();
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = static_cast<std::uint32_t>(width);
    format.fmt.pix.height = static_cast<std::uint32_t>(height);
    format.fmt.pix.pixelformat = pixelFormat;
    format.fmt.pix.field = V4L2_FIELD_ANY;
    const bool accepted = device_->Ioctl(VIDIOC_S_FMT, &format) == 0;
    ReadFormat(pix_);
    return accepted;
}

bool V4l2CaptureWindow::SetScale(bool stretch) {
    if (!preview_)
        return false;
    preview_->setStretch(stretch);
    return true;
}

bool V4l2CaptureWindow::SetPreviewRate(int rate_ms) {
    pacer_.SetPeriod(rate_ms);
    previewRate_ms_ = rate_ms;
    // The preview is the one stream, so the camera may as well run at its rate.
    if (rate_ms > 0 && !stream_)
        RequestFrameInterval(static_cast<std::uint32_t>(rate_ms) * 1000);
    return true;
}

bool V4l2CaptureWindow::SetOverlay(bool on) {
    return !on; // no device here draws into the screen by itself
}

bool V4l2CaptureWindow::SetPreview(bool on) {
    previewOn_ = on;
    if (!on) {
        retry_.stop();
        StopStreaming();
        return true;
    }
    if (device_ && (stream_ || StartStreaming()))
        return true;
    ScheduleRetry();
    return false;
}

bool V4l2CaptureWindow::Abort() {
    return true; // no streamed capture ever runs, so none is left running: done
}

QWidget* V4l2CaptureWindow::DialogParent() const {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return preview_ ? preview_->window() : nullptr;
}

bool V4l2CaptureWindow::DlgVideoSource() {
    if (!device_)
        return false;
    const std::shared_ptr<V4l2Device> device = device_;
    SourceDialog dialog(*device, cardName_, DialogParent());
    dialog.exec();
    return true;
}

bool V4l2CaptureWindow::DlgVideoFormat() {
    if (!device_)
        return false;
    const std::shared_ptr<V4l2Device> device = device_;
    v4l2_pix_format current{};
    ReadFormat(current);
    FormatDialog dialog(QueryFormatChoices(*device), current.pixelformat,
                        QSize(static_cast<int>(current.width), static_cast<int>(current.height)),
                        cardName_, DialogParent());
    if (dialog.exec() != QDialog::Accepted || device_ != device)
        return true;
    const QSize size = dialog.chosenSize();
    if (size.isEmpty())
        return true;
    requested_ = FormatRequest{.header = std::nullopt,
                               .pixelFormat = dialog.chosenFormat(),
                               .width = size.width(),
                               .height = size.height()};
    ApplyRequest();
    if (previewOn_)
        StartStreaming();
    return true;
}

bool V4l2CaptureWindow::StartStreaming() {
    if (!device_ || stream_)
        return stream_ != nullptr;
    ReadFormat(pix_);
    streamFormat_ = FormatFromPixFormat(pix_);
    int error = 0;
    stream_ = StreamBuffers::Start(*device_, kBufferCount, error);
    if (!stream_) {
        if (error == ENODEV) {
            DeviceLost();
            return false;
        }
        if (preview_)
            preview_->ShowFrame(QImage()); // not the last picture of a stream that has ended
        if (error == EBUSY)
            Status(kStatusBusy, QStringLiteral("%1 is in use by another program").arg(cardName_));
        else
            Status(kStatusNoPicture,
                   QStringLiteral("%1: cannot stream %2").arg(cardName_, FormatText()));
        ScheduleRetry();
        return false;
    }
    retry_.stop();
    retryDelay_ms_ = kRetryFirst_ms;
    ++generation_;
    held_ = 0;
    failures_ = 0;
    silent_ = false;
    scratch_.assign(stream_->count(), {});
    notifier_ = std::make_unique<QSocketNotifier>(device_->fd(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                     Guarded([this] { ReadFrame(); }));
    clock_.start();
    lastFrame_ms_ = 0;
    pacer_.Reset();
    silence_.start(kSilence_ms);
    Status(kStatusStreaming, QStringLiteral("%1: %2").arg(cardName_, FormatText()));
    return true;
}

void V4l2CaptureWindow::StopStreaming() {
    silence_.stop();
    if (notifier_) {
        // This may run inside the notifier's own signal (a lost device), so
        // it is silenced now and deleted once that signal has returned.
        notifier_->setEnabled(false);
        QObject::disconnect(notifier_.get(), nullptr, nullptr, nullptr);
        notifier_.release()->deleteLater();
    }
    stream_.reset();
    held_ = 0;
}

QString V4l2CaptureWindow::FormatText() const {
    return QStringLiteral("%1 x %2 %3")
        .arg(pix_.width)
        .arg(pix_.height)
        .arg(FourCCText(pix_.pixelformat).trimmed());
}

void V4l2CaptureWindow::ReadFrame() {
    if (!stream_)
        return;
    StreamBuffers::Filled filled;
    switch (stream_->Dequeue(filled)) {
    case StreamBuffers::Dequeued::NotReady:
        return;
    case StreamBuffers::Dequeued::Failed:
        if (++failures_ >= kMaxFailures)
            DeviceLost();
        return;
    case StreamBuffers::Dequeued::Lost:
        DeviceLost();
        return;
    case StreamBuffers::Dequeued::Frame:
        break;
    }
    failures_ = 0;
    const std::int64_t now_ms = clock_.elapsed();
    lastFrame_ms_ = now_ms;
    // A camera that was slow to start, or stalled, is sending again.
    if (std::exchange(silent_, false)) {
        Status(kStatusStreaming, QStringLiteral("%1: %2").arg(cardName_, FormatText()));
        silence_.start(kSilence_ms);
    }

    // The buffer goes back to the device however the handler ends, unless the
    // stream it came from has gone meanwhile (a nested loop closed it).
    struct Requeue {
        V4l2CaptureWindow& window;
        std::shared_ptr<bool> alive;
        unsigned generation;
        unsigned index;
        ~Requeue() {
            if (!*alive || window.generation_ != generation || !window.stream_)
                return;
            window.stream_->Requeue(index);
            --window.held_;
            window.notifier_->setEnabled(true);
        }
    } requeue{*this, alive_, generation_, filled.index};
    // With every buffer out, the device reports an error condition until one
    // comes back; listening meanwhile would only spin.
    if (++held_ == stream_->count())
        notifier_->setEnabled(false);

    // Paced by when the camera took the frame where the driver says: the time it is read also
    // holds how busy this thread was, and a frame read late would cost the next one, on time.
    // Both times are on the monotonic clock, so a driver that stamps only some frames is paced
    // on one time line.
    if (!pacer_.Due(filled.taken_us >= 0 ? filled.taken_us / 1000 : clock_.msecsSinceReference()))
        return;
    const MappedBuffer& buffer = stream_->buffer(filled.index);
    const std::span<const std::uint8_t> frame =
        PackFrame(pix_, {buffer.data(), filled.bytesUsed}, scratch_[filled.index]);
    if (frame.empty())
        return;
    // Unseen, the preview is neither made nor painted; the frame handler still gets every frame,
    // as a call sends them, and the next frame after the window comes back is shown again.
    if (preview_ && preview_->Seen())
        preview_->ShowFrame(
            previews_.Make(streamFormat_, frame, preview_->stretch() ? preview_->size() : QSize()));
    if (frame_) {
        const FrameCallback handler = frame_; // it may unregister itself
        handler(DescribeFrame(streamFormat_, frame, static_cast<std::uint32_t>(now_ms)));
    }
}

void V4l2CaptureWindow::DeviceLost() {
    // Everything of the device goes; the window stays, and waits for it to come back.
    const QString name = cardName_;
    Release();
    Status(kStatusLost, QStringLiteral("%1: camera disconnected").arg(name));
    ScheduleRetry();
}

void V4l2CaptureWindow::ScheduleRetry() {
    if (!previewOn_ || wantedIndex_ < 0 || stream_ || retry_.isActive())
        return;
    retry_.start(retryDelay_ms_);
    retryDelay_ms_ = std::min(retryDelay_ms_ * 2, kRetryMost_ms);
}

void V4l2CaptureWindow::Retry() {
    if (!previewOn_ || wantedIndex_ < 0 || stream_)
        return;
    retrying_ = true;
    const auto done = qScopeGuard([this] { retrying_ = false; });
    // No event tells that a node appeared or that another program let go, so
    // the node is simply tried again.
    if (device_ || Open(wantedIndex_, false)) {
        ApplyRequest();
        StartStreaming();
    }
    ScheduleRetry();
}

void V4l2CaptureWindow::Status(int id, const QString& text) {
    // The program takes a new format from a stream start, which is never left out.
    if (retrying_ && id != kStatusStreaming && text == lastStatus_)
        return;
    lastStatus_ = text;
    if (!status_)
        return;
    const StatusCallback handler = status_;
    const QByteArray bytes = text.toLocal8Bit();
    handler(id, bytes.constData());
}

} // namespace vocalyn::video::v4l2
