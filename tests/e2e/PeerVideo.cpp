#include "tests/e2e/PeerVideo.h"

#include "app/TfrmMain.h"
#include "tests/e2e/PeerConsole.h"
#include "tests/fakes/FakeCapture.h"
#include "video/conversion/FormatCodes.h"
#include "video/transport/JpegCodec.h"
#include "video/transport/VideoTransport.h"
#include "widgets/ErrorReport.h"
#include "widgets/FlatButton.h"

#include <QClipboard>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <time.h>

#include <chrono>
#include <vector>

namespace vocalyn::test {

namespace {

// The test pattern repeats after this many frames at every size the tests use.
constexpr int kPatternFrames = 240;

qint64 Now_us() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::uint64_t Hash(const char* data, std::size_t size) {
    std::uint64_t hash = 1469598103934665603ull; // FNV-1a
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ static_cast<std::uint8_t>(data[i])) * 1099511628211ull;
    return hash;
}

// CPU time of the calling thread.
qint64 ThreadCpu_us() {
    timespec time{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return qint64(time.tv_sec) * 1000000 + time.tv_nsec / 1000;
}

long ResidentKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Mean absolute difference per channel on every other pixel of every other row.
double Distance(const QImage& a, const QImage& b) {
    double sum = 0;
    long count = 0;
    for (int y = 0; y < a.height(); y += 2) {
        const auto* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); x += 2, ++count)
            sum += std::abs(qRed(p[x]) - qRed(q[x])) + std::abs(qGreen(p[x]) - qGreen(q[x])) +
                   std::abs(qBlue(p[x]) - qBlue(q[x]));
    }
    return count ? sum / (3.0 * count) : 1e9;
}

QString SizeText(const QSize& size) {
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

QString Stamp(std::uint64_t hash, qint64 time_us) {
    return QStringLiteral("%1:%2").arg(hash, 16, 16, QLatin1Char('0')).arg(time_us);
}

} // namespace

PeerVideo::PeerVideo(TfrmMain& window, fakes::FakeCaptureService& camera)
    : w_(window), camera_(camera), socket_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    // Counts what the video listener hands over, around the window's own handler.
    w_.UDPServer1.OnUDPRead =
        [this, handler = w_.UDPServer1.OnUDPRead](net::TIdUDPServer& server, const QByteArray& data,
                                                  net::TIdSocketHandle& binding) {
            const qint64 arrived = Now_us();
            const QString sender = binding.SenderIP;
            const qint64 before = w_.Image1->pixmap().cacheKey();
            handler(server, data, binding);
            ++received_;
            ++receivedFrom_[sender];
            if (w_.Image1->pixmap().cacheKey() == before)
                return;
            ++shown_;
            ++shownFrom_[sender];
            if (timing_)
                unpainted_ = {Hash(data.constData(), std::size_t(data.size())), arrived};
        };
    w_.Image1->installEventFilter(this);
    watchTimer_.setInterval(50);
    connect(&watchTimer_, &QTimer::timeout, this, Guarded([this] { Tick(); }));
}

void PeerVideo::AddCommands(PeerConsole& console) {
    console.AddCommand(QStringLiteral("video"),
                       [this](const QString& arguments) { return Execute(arguments); });
}

bool PeerVideo::eventFilter(QObject* watched, QEvent* event) {
    if (watched != w_.Image1 || event->type() != QEvent::Paint || !unpainted_)
        return false;
    // Paint first, so that the time is when the new picture is on the window.
    watched->event(event);
    shownLog_ << Stamp(unpainted_->first, Now_us()) + QStringLiteral(":%1").arg(unpainted_->second);
    unpainted_.reset();
    return true;
}

QString PeerVideo::Execute(const QString& arguments) {
    const QStringList words = arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString what = words.value(0);
    if (what == QLatin1String("state"))
        return State();
    if (what == QLatin1String("camera") && words.size() == 3) {
        camera_.format =
            video::FormatHeader(words[1].toInt(), words[2].toInt(), 24, video::kBI_RGB, 0);
        w_.videoCap->ReadVideoFormat();
        return QStringLiteral("ok");
    }
    if (what == QLatin1String("check"))
        return Check();
    if (what == QLatin1String("snapshot"))
        return Snapshot();
    if (what == QLatin1String("sendframe") && words.size() == 5)
        return SendFrame(words.mid(1));
    if (what == QLatin1String("g2g"))
        return GlassToGlass(words.value(1));
    if (what == QLatin1String("watch"))
        return Watch(words.value(1));
    return QStringLiteral("error unknown video command: ") + arguments;
}

QString PeerVideo::State() const {
    QStringList pairs{
        QStringLiteral("picture=") + SizeText(w_.Image1->pixmap().size()),
        QStringLiteral("received=%1").arg(received_),
        QStringLiteral("shown=%1").arg(shown_),
        QStringLiteral("sent=%1").arg(w_.videoTransport->datagramsSent()),
        QStringLiteral("quality=%1").arg(w_.videoTransport->lastQuality()),
        QStringLiteral("host=") + w_.edtHostName->text().simplified().replace(' ', '_'),
    };
    for (auto count = receivedFrom_.cbegin(); count != receivedFrom_.cend(); ++count)
        pairs << QStringLiteral("from-%1=%2").arg(count.key()).arg(count.value());
    for (auto count = shownFrom_.cbegin(); count != shownFrom_.cend(); ++count)
        pairs << QStringLiteral("shownfrom-%1=%2").arg(count.key()).arg(count.value());
    return pairs.join(QLatin1Char(' '));
}

QString PeerVideo::Check() const {
    const QImage picture = w_.Image1->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
    double best = 1e9;
    int bestFrame = -1;
    for (int n = 0; n < kPatternFrames; ++n) {
        const double distance = Distance(
            picture, fakes::FakeCaptureService::PatternImage(picture.width(), picture.height(), n));
        if (distance < best) {
            best = distance;
            bestFrame = n;
        }
    }
    return QStringLiteral("frame=%1 distance=%2 size=%3")
        .arg(bestFrame)
        .arg(best, 0, 'f', 2)
        .arg(SizeText(picture.size()));
}

QString PeerVideo::Snapshot() {
    w_.btnSnapShot->click();
    const QImage copied = QGuiApplication::clipboard()->image();
    const QImage picture = w_.Image1->pixmap().toImage();
    const bool same = !copied.isNull() && copied.convertToFormat(QImage::Format_RGB32) ==
                                              picture.convertToFormat(QImage::Format_RGB32);
    return QStringLiteral("size=%1 same=%2").arg(SizeText(copied.size())).arg(same ? 1 : 0);
}

QString PeerVideo::SendFrame(const QStringList& words) {
    const QImage pattern = fakes::FakeCaptureService::PatternImage(
                               words[1].toInt(), words[2].toInt(), words[3].toInt())
                               .convertToFormat(QImage::Format_RGB888);
    std::vector<std::uint8_t> file(65507);
    video::JpegEncoder encoder;
    const video::JpegEncoder::Result result =
        encoder.Encode({pattern.constBits(), pattern.width(), pattern.height(),
                        pattern.bytesPerLine(), video::PixelLayout::RGB},
                       90, file);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<quint16>(w_.UDPClient1.Port));
    if (result.size == 0 ||
        ::inet_pton(AF_INET, words[0].toLatin1().constData(), &to.sin_addr) != 1)
        return QStringLiteral("error cannot send that frame");
    if (::sendto(socket_.get(), file.data(), result.size, 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) < 0)
        return QStringLiteral("error send failed");
    return QStringLiteral("ok");
}

QString PeerVideo::GlassToGlass(const QString& what) {
    if (what == QLatin1String("start")) {
        sentLog_.clear();
        shownLog_.clear();
        unpainted_.reset();
        timing_ = true;
        // The capture window's frame handler, timed from the moment the frame arrives.
        if (video::CaptureWindow* window = w_.videoCap->captureWindow())
            window->SetCallbackFrame([this](const video::CameraFrame& frame) {
                const qint64 start = Now_us();
                const std::uint64_t before = w_.videoTransport->datagramsSent();
                const int result = w_.videoCap->FrameHandler(frame);
                if (timing_ && w_.videoTransport->datagramsSent() != before) {
                    const auto datagram = w_.videoTransport->lastDatagram();
                    sentLog_ << Stamp(
                        Hash(reinterpret_cast<const char*>(datagram.data()), datagram.size()),
                        start);
                }
                return result;
            });
        return QStringLiteral("ok");
    }
    return QStringLiteral("sent=") + sentLog_.join(QLatin1Char(',')) + QStringLiteral(" shown=") +
           shownLog_.join(QLatin1Char(','));
}

QString PeerVideo::Watch(const QString& what) {
    if (what == QLatin1String("start")) {
        maxGap_ms_ = 0;
        ticks_ = 0;
        rssBase_kB_ = rssMax_kB_ = ResidentKilobytes();
        busy_.assign(1, {Now_us(), ThreadCpu_us()});
        maxBusyShare_ = 0;
        sinceTick_.start();
        watchTimer_.start();
        return QStringLiteral("ok");
    }
    return QStringLiteral("ticks=%1 maxgap=%2 rssbase=%3 rssmax=%4 rssnow=%5 busyshare=%6 "
                          "overbudget=%7")
        .arg(ticks_)
        .arg(maxGap_ms_)
        .arg(rssBase_kB_)
        .arg(rssMax_kB_)
        .arg(ResidentKilobytes())
        .arg(maxBusyShare_, 0, 'f', 1)
        .arg(w_.videoTransport->datagramsOverBudget());
}

void PeerVideo::Tick() {
    ++ticks_;
    maxGap_ms_ = std::max(maxGap_ms_, sinceTick_.restart());
    rssMax_kB_ = std::max(rssMax_kB_, ResidentKilobytes());
    // The share over the latest second or a little more, from the samples of earlier ticks.
    const qint64 wall = Now_us(), cpu = ThreadCpu_us();
    while (busy_.size() > 1 && wall - busy_[1].first >= 1000000)
        busy_.pop_front();
    if (wall - busy_.front().first >= 1000000)
        maxBusyShare_ = std::max(maxBusyShare_, 100.0 * double(cpu - busy_.front().second) /
                                                    double(wall - busy_.front().first));
    busy_.emplace_back(wall, cpu);
}

} // namespace vocalyn::test
