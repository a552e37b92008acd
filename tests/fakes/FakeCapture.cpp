#include "tests/fakes/FakeCapture.h"

#include "video/capture/PreviewImage.h"
#include "video/capture/PreviewWidget.h"
#include "widgets/ErrorReport.h"

#include <QBuffer>
#include <QColor>
#include <QPainter>

#include <cstring>

namespace vocalyn::fakes {

using video::BITMAPINFOHEADER;
using video::FourCC;

namespace {

struct Yuv {
    std::uint8_t y, u, v;
};

std::uint8_t Clamp(double value) {
    return static_cast<std::uint8_t>(std::clamp(value + 0.5, 0.0, 255.0));
}

// Studio-range BT.601, the inverse of what the converters apply.
Yuv ToYuv(QRgb rgb) {
    const double r = qRed(rgb), g = qGreen(rgb), b = qBlue(rgb);
    return {Clamp(16 + (65.738 * r + 129.057 * g + 25.064 * b) / 256),
            Clamp(128 + (-37.945 * r - 74.494 * g + 112.439 * b) / 256),
            Clamp(128 + (112.439 * r - 94.154 * g - 18.285 * b) / 256)};
}

int DivUp(int value, int by) {
    return (value + by - 1) / by;
}

int RowBytes(int bits) {
    return (bits + 31) / 32 * 4;
}

QString FormatText(const BITMAPINFOHEADER& f) {
    return QStringLiteral("%1x%2x%3 %4")
        .arg(f.biWidth)
        .arg(f.biHeight)
        .arg(f.biBitCount)
        .arg(f.biCompression);
}

// Planar 4:2:0 (I420: U then V, step 2) or 4:1:0 (YVU9: V then U, step 4).
void EncodePlanar(const QImage& image, int step, bool vFirst, std::uint8_t* out) {
    const int w = image.width(), h = image.height();
    const int cw = DivUp(w, step), ch = DivUp(h, step);
    std::uint8_t* first = out + w * h;
    std::uint8_t* second = first + cw * ch;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out[y * w + x] = ToYuv(image.pixel(x, y)).y;
    for (int cy = 0; cy < ch; ++cy)
        for (int cx = 0; cx < cw; ++cx) {
            const Yuv c =
                ToYuv(image.pixel(std::min(cx * step, w - 1), std::min(cy * step, h - 1)));
            first[cy * cw + cx] = vFirst ? c.v : c.u;
            second[cy * cw + cx] = vFirst ? c.u : c.v;
        }
}

// Packed 4:2:2: each pair of pixels as four bytes in the given order.
void EncodePacked422(const QImage& image, bool uyvy, std::uint8_t* out) {
    const int w = image.width(), h = image.height();
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = out + y * w * 2;
        for (int x = 0; x < w; x += 2) {
            const Yuv a = ToYuv(image.pixel(x, y));
            const Yuv b = ToYuv(image.pixel(std::min(x + 1, w - 1), y));
            const std::uint8_t bytes[4] = {uyvy ? a.u : a.y, uyvy ? a.y : a.u, uyvy ? a.v : b.y,
                                           uyvy ? b.y : a.v};
            const int room = std::min(4, w * 2 - x * 2);
            std::memcpy(row + x * 2, bytes, static_cast<std::size_t>(room));
        }
    }
}

// Y41P rows run bottom to top: the first row in memory is the picture's last.
void EncodeY41P(const QImage& image, std::uint8_t* out) {
    const int w = image.width(), h = image.height();
    const int rowBytes = DivUp(w, 8) * 12;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = out + (h - 1 - y) * rowBytes;
        for (int group = 0; group * 8 < w; ++group) {
            std::uint8_t* g = row + group * 12;
            Yuv p[8];
            for (int i = 0; i < 8; ++i)
                p[i] = ToYuv(image.pixel(std::min(group * 8 + i, w - 1), y));
            const std::uint8_t bytes[12] = {p[0].u, p[0].y, p[0].v, p[1].y, p[4].u, p[2].y,
                                            p[4].v, p[3].y, p[4].y, p[5].y, p[6].y, p[7].y};
            std::memcpy(g, bytes, sizeof bytes);
        }
    }
}

void EncodeY211(const QImage& image, std::uint8_t* out) {
    const int w = image.width(), h = image.height();
    const int rowBytes = DivUp(w, 4) * 4;
    for (int y = 0; y < h; ++y)
        for (int group = 0; group * 4 < w; ++group) {
            const Yuv a = ToYuv(image.pixel(group * 4, y));
            const Yuv b = ToYuv(image.pixel(std::min(group * 4 + 2, w - 1), y));
            std::uint8_t* g = out + y * rowBytes + group * 4;
            g[0] = a.y;
            g[1] = a.u;
            g[2] = b.y;
            g[3] = a.v;
        }
}

// Bottom-up RGB as plain 24 or 32 bits, or 16 bits 5-6-5 under bit masks.
void EncodeRgb(const QImage& image, int bits, std::uint8_t* out) {
    const int w = image.width(), h = image.height();
    const int rowBytes = RowBytes(w * bits);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = out + (h - 1 - y) * rowBytes;
        for (int x = 0; x < w; ++x) {
            const QRgb c = image.pixel(x, y);
            if (bits == 16) {
                const auto v = static_cast<std::uint16_t>((qRed(c) >> 3) << 11 |
                                                          (qGreen(c) >> 2) << 5 | qBlue(c) >> 3);
                row[2 * x] = static_cast<std::uint8_t>(v & 0xFF);
                row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                continue;
            }
            std::uint8_t* p = row + x * (bits / 8);
            p[0] = static_cast<std::uint8_t>(qBlue(c));
            p[1] = static_cast<std::uint8_t>(qGreen(c));
            p[2] = static_cast<std::uint8_t>(qRed(c));
            if (bits == 32)
                p[3] = 0;
        }
    }
}

// The bytes a frame of the format takes; 0 for formats sent compressed.
int FrameBytes(const BITMAPINFOHEADER& f) {
    const int w = f.biWidth, h = std::abs(f.biHeight);
    switch (f.biCompression) {
    case video::kBI_RGB:
    case video::kBI_BITFIELDS:
        return RowBytes(w * f.biBitCount) * h;
    case FourCC('Y', 'U', 'Y', '2'):
    case FourCC('U', 'Y', 'V', 'Y'):
        return w * 2 * h;
    case FourCC('Y', '4', '1', 'P'):
        return DivUp(w, 8) * 12 * h;
    case FourCC('Y', 'V', 'U', '9'):
        return w * h + 2 * DivUp(w, 4) * DivUp(h, 4);
    case FourCC('I', '4', '2', '0'):
        return w * h + 2 * DivUp(w, 2) * DivUp(h, 2);
    case FourCC('Y', '8', ' ', ' '):
        return w * h;
    case FourCC('Y', '2', '1', '1'):
        return DivUp(w, 4) * 4 * h;
    default:
        return 0;
    }
}

} // namespace

// ---------------------------------------------------------------- the service

FakeCaptureService::FakeCaptureService() {
    // Values a fresh driver might hold, so that a test sees which ones change.
    driverParms.dwRequestMicroSecPerFrame = 100000;
    driverParms.fMakeUserHitOKToCapture = 1;
    driverParms.wPercentDropForError = 10;
    driverParms.dwIndexSize = 34952;
    driverParms.wNumVideoRequested = 5;
    driverParms.fCaptureAudio = 0;
    driverParms.vKeyAbort = 0x1B;
    driverParms.fAbortLeftMouse = 1;
    driverParms.fAbortRightMouse = 1;
    driverParms.fLimitEnabled = 1;
    driverParms.wTimeLimit = 30;
    driverParms.fMCIControl = 1;
    driverParms.dwAudioBufferSize = 4096;
}

std::unique_ptr<video::CaptureWindow>
FakeCaptureService::CreateCaptureWindow(const QString& windowName, QWidget* parent,
                                        const QRect& geometry, int id) {
    requests << QStringLiteral("CreateCaptureWindow %1 %2,%3 %4x%5 %6")
                    .arg(windowName)
                    .arg(geometry.x())
                    .arg(geometry.y())
                    .arg(geometry.width())
                    .arg(geometry.height())
                    .arg(id);
    if (refuseWindow || !parent)
        return nullptr;
    return std::make_unique<FakeCaptureWindow>(*this, parent, geometry);
}

QImage FakeCaptureService::PatternImage(int width, int height, int frameNumber) {
    QImage image(std::max(width, 1), std::max(std::abs(height), 1), QImage::Format_RGB32);
    static const QRgb kBars[] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00,
                                 0xFF00FF, 0xFF0000, 0x0000FF, 0x000000};
    QPainter painter(&image);
    const int w = image.width(), h = image.height();
    for (int i = 0; i < 8; ++i)
        painter.fillRect(QRect(i * w / 8, 0, (i + 1) * w / 8 - i * w / 8, h), QColor(kBars[i]));
    // A grey ramp along the bottom, and the moving block above it.
    for (int x = 0; x < w; ++x) {
        const int level = x * 255 / std::max(w - 1, 1);
        painter.fillRect(QRect(x, h * 3 / 4, 1, h - h * 3 / 4), QColor(level, level, level));
    }
    const int block = std::max(h / 6, 1);
    const int travel = std::max(w - block, 1);
    const int step = (frameNumber * std::max(w / 64, 1)) % (2 * travel);
    const int x = step < travel ? step : 2 * travel - step;
    painter.fillRect(QRect(x, h / 2 - block / 2, block, block), QColor(64, 64, 64));
    return image;
}

QByteArray FakeCaptureService::PatternFrame(const BITMAPINFOHEADER& format, int frameNumber) {
    const QImage image = PatternImage(format.biWidth, format.biHeight, frameNumber);
    const int size = FrameBytes(format);
    if (size == 0) {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPG", 90);
        return jpeg;
    }
    QByteArray frame(size, '\0');
    auto* out = reinterpret_cast<std::uint8_t*>(frame.data());
    switch (format.biCompression) {
    case video::kBI_RGB:
    case video::kBI_BITFIELDS:
        EncodeRgb(image, format.biBitCount, out);
        break;
    case FourCC('Y', 'U', 'Y', '2'):
        EncodePacked422(image, false, out);
        break;
    case FourCC('U', 'Y', 'V', 'Y'):
        EncodePacked422(image, true, out);
        break;
    case FourCC('Y', '4', '1', 'P'):
        EncodeY41P(image, out);
        break;
    case FourCC('Y', 'V', 'U', '9'):
        EncodePlanar(image, 4, true, out);
        break;
    case FourCC('I', '4', '2', '0'):
        EncodePlanar(image, 2, false, out);
        break;
    case FourCC('Y', '8', ' ', ' '):
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                out[y * image.width() + x] = static_cast<std::uint8_t>(qGray(image.pixel(x, y)));
        break;
    case FourCC('Y', '2', '1', '1'):
        EncodeY211(image, out);
        break;
    default:
        break;
    }
    return frame;
}

QByteArray FakeCaptureService::FormatBlockOf(const BITMAPINFOHEADER& format) {
    BITMAPINFOHEADER reported = format;
    if (reported.biSizeImage == 0)
        reported.biSizeImage = static_cast<std::uint32_t>(
            FrameBytes(format) ? FrameBytes(format)
                               : format.biWidth * std::abs(format.biHeight) * 3);
    QByteArray block = video::BitmapHeaderBytes(reported);
    if (format.biCompression == video::kBI_BITFIELDS) {
        for (std::uint32_t mask : {0xF800u, 0x07E0u, 0x001Fu})
            for (int i = 0; i < 4; ++i)
                block.append(static_cast<char>((mask >> (8 * i)) & 0xFF));
    }
    return block;
}

// ----------------------------------------------------------------- the window

FakeCaptureWindow::FakeCaptureWindow(FakeCaptureService& service, QWidget* parent,
                                     const QRect& geometry)
    : service_(service), preview_(new video::PreviewWidget(parent)) {
    preview_->setObjectName(QStringLiteral("CaptureWindow"));
    preview_->setGeometry(geometry);
    preview_->show();
    service_.window_ = this;
    QObject::connect(&timer_, &QTimer::timeout, Guarded([this] { DeliverFrame(); }));
}

FakeCaptureWindow::~FakeCaptureWindow() {
    Record(QStringLiteral("DestroyWindow"));
    if (service_.window_ == this)
        service_.window_ = nullptr;
    delete preview_.data();
}

void FakeCaptureWindow::Record(const QString& request) {
    service_.requests << request;
}

bool FakeCaptureWindow::SetCallbackStatus(video::StatusCallback handler) {
    Record(QStringLiteral("SetCallbackStatus %1").arg(handler ? "handler" : "none"));
    if (handler && service_.refuseStatusHandler)
        return false;
    status_ = std::move(handler);
    return true;
}

bool FakeCaptureWindow::SetCallbackFrame(video::FrameCallback handler) {
    Record(QStringLiteral("SetCallbackFrame %1").arg(handler ? "handler" : "none"));
    frame_ = std::move(handler);
    return true;
}

bool FakeCaptureWindow::SetCallbackVideoStream(video::FrameCallback handler) {
    Record(QStringLiteral("SetCallbackVideoStream %1").arg(handler ? "handler" : "none"));
    stream_ = std::move(handler);
    return true;
}

bool FakeCaptureWindow::DriverConnect(int index) {
    Record(QStringLiteral("DriverConnect %1").arg(index));
    connected_ = -1;
    if (!service_.drivers.contains(index)) {
        UpdateTimer();
        return false;
    }
    connected_ = index;
    const QByteArray text = QStringLiteral("Connected to Fake camera %1").arg(index).toLocal8Bit();
    SendStatus(1, text.constData());
    UpdateTimer();
    return true;
}

bool FakeCaptureWindow::DriverDisconnect() {
    Record(QStringLiteral("DriverDisconnect"));
    const bool was = connected();
    connected_ = -1;
    UpdateTimer();
    if (preview_)
        preview_->ShowFrame(QImage());
    return was;
}

bool FakeCaptureWindow::DriverGetCaps(video::CAPDRIVERCAPS& caps) {
    Record(QStringLiteral("DriverGetCaps"));
    if (!connected())
        return false;
    caps = {};
    caps.wDeviceIndex = static_cast<std::uint32_t>(connected_);
    caps.fCaptureInitialized = 1;
    caps.fHasDlgVideoSource = service_.hasSourceDialog;
    caps.fHasDlgVideoFormat = service_.hasFormatDialog;
    return true;
}

bool FakeCaptureWindow::GetSequenceSetup(video::CAPTUREPARMS& parms) {
    Record(QStringLiteral("GetSequenceSetup %1").arg(sizeof parms));
    if (!connected() || service_.unreadableParameters.contains(connected_))
        return false;
    parms = service_.driverParms;
    return true;
}

bool FakeCaptureWindow::SetSequenceSetup(const video::CAPTUREPARMS& parms) {
    Record(QStringLiteral("SetSequenceSetup %1").arg(sizeof parms));
    if (!connected() || service_.refusedParameters.contains(connected_))
        return false;
    service_.writtenParms = parms;
    return true;
}

std::uint32_t FakeCaptureWindow::GetVideoFormatSize() {
    Record(QStringLiteral("GetVideoFormat 0"));
    if (!connected() || service_.noFormat)
        return 0;
    return static_cast<std::uint32_t>(FakeCaptureService::FormatBlockOf(service_.format).size());
}

std::uint32_t FakeCaptureWindow::GetVideoFormat(std::span<std::byte> block) {
    Record(QStringLiteral("GetVideoFormat %1").arg(block.size()));
    if (!connected() || service_.noFormat)
        return 0;
    QByteArray format = FakeCaptureService::FormatBlockOf(service_.format);
    if (service_.reportsNoImageSize)
        format.replace(20, 4, QByteArray(4, '\0')); // biSizeImage
    const std::size_t size = std::min(block.size(), static_cast<std::size_t>(format.size()));
    std::memcpy(block.data(), format.constData(), size);
    return static_cast<std::uint32_t>(size);
}

bool FakeCaptureWindow::SetVideoFormat(std::span<const std::byte> block) {
    const std::optional<BITMAPINFOHEADER> format = video::ReadFormatHeader(block);
    Record(QStringLiteral("SetVideoFormat %1 %2")
               .arg(block.size())
               .arg(format ? FormatText(*format) : QStringLiteral("?")));
    if (!connected() || !format || service_.keepsFormat || format->biWidth <= 0 ||
        format->biHeight == 0)
        return false;
    service_.format = *format;
    service_.format.biSizeImage = 0;
    return true;
}

bool FakeCaptureWindow::SetScale(bool stretch) {
    Record(QStringLiteral("SetScale %1").arg(stretch));
    if (preview_)
        preview_->setStretch(stretch);
    return true;
}

bool FakeCaptureWindow::SetPreviewRate(int rate_ms) {
    Record(QStringLiteral("SetPreviewRate %1").arg(rate_ms));
    rate_ms_ = std::max(rate_ms, 1);
    UpdateTimer();
    return true;
}

bool FakeCaptureWindow::SetOverlay(bool on) {
    Record(QStringLiteral("SetOverlay %1").arg(on));
    return !on;
}

bool FakeCaptureWindow::SetPreview(bool on) {
    Record(QStringLiteral("SetPreview %1").arg(on));
    previewOn_ = on;
    UpdateTimer();
    return connected();
}

bool FakeCaptureWindow::Abort() {
    Record(QStringLiteral("Abort"));
    return true;
}

bool FakeCaptureWindow::DlgVideoSource() {
    Record(QStringLiteral("DlgVideoSource"));
    if (!connected() || !service_.hasSourceDialog)
        return false;
    if (service_.sourceDialogAction)
        service_.sourceDialogAction();
    return true;
}

bool FakeCaptureWindow::DlgVideoFormat() {
    Record(QStringLiteral("DlgVideoFormat"));
    if (!connected() || !service_.hasFormatDialog)
        return false;
    if (service_.formatDialogChoice)
        service_.format = *service_.formatDialogChoice;
    return true;
}

void FakeCaptureWindow::UpdateTimer() {
    if (previewOn_ && connected() && !service_.noFormat) {
        timer_.start(rate_ms_);
    } else {
        timer_.stop();
    }
}

void FakeCaptureWindow::DeliverFrame() {
    const BITMAPINFOHEADER format = service_.format;
    const QByteArray frame = FakeCaptureService::PatternFrame(format, service_.framesDelivered++);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(frame.constData());
    const std::span<const std::uint8_t> data(bytes, static_cast<std::size_t>(frame.size()));
    if (preview_)
        preview_->ShowFrame(video::PreviewImage(format, data));
    if (!frame_)
        return;
    const video::FrameCallback handler = frame_; // it may unregister itself
    handler(video::DescribeFrame(format, data));
}

void FakeCaptureWindow::SendStatus(int id, const char* text) {
    if (!status_)
        return;
    const video::StatusCallback handler = status_;
    handler(id, text);
}

} // namespace vocalyn::fakes
