#include "tests/call/CallTestSupport.h"

#include "tests/fakes/FakeCapture.h"
#include "tests/fakes/FakeNeighbourhood.h"
#include "tests/fakes/RecordingScreenSaver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace vocalyn::test {

namespace {

sockaddr_in Address(const QByteArray& dotted, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<quint16>(port));
    ::inet_pton(AF_INET, dotted.constData(), &address.sin_addr);
    return address;
}

int BoundSocket(const QByteArray& dotted, int port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_in address = Address(dotted, port);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

quint32 HostOrder(const QString& dotted) {
    return ntohl(Address(dotted.toLatin1(), 0).sin_addr.s_addr);
}

} // namespace

int FreeSharedUdpPort(const QList<QByteArray>& addresses) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int first = BoundSocket(addresses.front(), 0);
        sockaddr_in bound{};
        socklen_t length = sizeof bound;
        ::getsockname(first, reinterpret_cast<sockaddr*>(&bound), &length);
        const int port = ntohs(bound.sin_port);
        bool freeEverywhere = true;
        for (const QByteArray& other : addresses.mid(1)) {
            const int fd = BoundSocket(other, port);
            freeEverywhere = freeEverywhere && fd >= 0;
            if (fd >= 0)
                ::close(fd);
        }
        ::close(first);
        if (freeEverywhere)
            return port;
    }
    throw std::runtime_error("no UDP port free on every test address");
}

Side::Side(const QString& address, int signallingPort, int videoPort,
           std::unique_ptr<CallNotifier> notifier)
    : address(address),
      windows(CreateWindows(PreparePlatform(signallingPort, videoPort, std::move(notifier)))) {
    w().UDPServer.OnUDPRead =
        [this, handler = w().UDPServer.OnUDPRead](net::TIdUDPServer& sender, const QByteArray& data,
                                                  net::TIdSocketHandle& binding) {
            const auto record = qScopeGuard([&] { handled.append(data); });
            handler(sender, data, binding);
        };
    w().show();
    w().activateWindow();
    if (!QTest::qWaitFor([this] { return w().FormActivated(); }, 5000))
        throw std::runtime_error("the main window was not activated");
    w().Settings.RingTone = QStringLiteral("ring.wav");
    w().Settings.RingTime = 10000;
}

Platform& Side::PreparePlatform(int signallingPort, int videoPort,
                                std::unique_ptr<CallNotifier> notifier) {
    auto resolverOwned = std::make_unique<fakes::FakeResolver>();
    resolver = resolverOwned.get();
    resolver->name = "host-" + address.toLatin1();
    resolver->answers.insert(resolver->name, {0, {HostOrder(address)}});
    resolver->answers.insert("alices-pc", {0, {HostOrder(QStringLiteral("127.0.0.1"))}});
    resolver->answers.insert("bobs-pc", {0, {HostOrder(QStringLiteral("127.0.0.2"))}});
    resolver->answers.insert("carols-pc", {0, {HostOrder(QStringLiteral("127.0.0.3"))}});
    platform.resolver = std::move(resolverOwned);
    platform.sockets = std::make_unique<net::SocketLayer>(*platform.resolver);
    auto deviceOwned = std::make_unique<fakes::FakeMediaDevice>();
    device = deviceOwned.get();
    platform.mediaDevice = std::move(deviceOwned);
    platform.captureService = std::make_unique<fakes::FakeCaptureService>();
    platform.neighbourhood = std::make_unique<fakes::FakeNeighbourhood>();
    platform.terminalFactory = [terminal = terminal] { return terminal; };
    platform.dataDir = dataDir.path() + QLatin1Char('/');
    platform.signallingPort = signallingPort;
    platform.videoPort = videoPort;
    platform.bindAddress = address;
    platform.callNotifier = std::move(notifier);
    auto screenSaverOwned = std::make_unique<fakes::RecordingScreenSaver>();
    screenSaver = screenSaverOwned.get();
    platform.screenSaver = std::move(screenSaverOwned);
    // An empty address book, so that its window has nothing to complain about.
    QFile(platform.dataDir + QStringLiteral("IPAddress.dat")).open(QIODevice::WriteOnly);
    return platform;
}

Side::~Side() = default;

Probe::Probe(const QByteArray& address, int port) : fd_(BoundSocket(address, port)), port_(port) {
    if (fd_ < 0)
        throw std::runtime_error("the probe's address is taken");
}

Probe::~Probe() {
    ::close(fd_);
}

void Probe::Send(const QByteArray& toAddress, const QByteArray& payload) {
    const sockaddr_in to = Address(toAddress, port_);
    ::sendto(fd_, payload.constData(), static_cast<size_t>(payload.size()), 0,
             reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

std::optional<QByteArray> Probe::Next(int limit_ms) {
    QByteArray buffer(65536, Qt::Uninitialized);
    std::optional<QByteArray> received;
    (void)QTest::qWaitFor(
        [&] {
            const ssize_t count = ::recv(fd_, buffer.data(), static_cast<size_t>(buffer.size()), 0);
            if (count >= 0)
                received = buffer.left(count);
            return received.has_value();
        },
        limit_ms);
    return received;
}

Script& Script::When(QString what, std::function<bool()> condition, std::function<void()> action) {
    steps_.push_back({std::move(what), std::move(condition), std::move(action)});
    return *this;
}

bool Script::Run(const std::function<void()>& start, int limit_ms) {
    QElapsedTimer clock;
    clock.start();
    const auto connection = QObject::connect(&timer_, &QTimer::timeout, [&] {
        if (clock.elapsed() > limit_ms)
            GiveUp();
        else
            Tick();
    });
    timer_.start(5);
    start();
    (void)QTest::qWaitFor([this] { return gaveUp_ || (steps_.empty() && !actionPending_); },
                          static_cast<int>(std::max<qint64>(0, limit_ms - clock.elapsed())) + 100);
    if (!gaveUp_ && !steps_.empty())
        GiveUp();
    timer_.stop();
    QObject::disconnect(connection);
    return !gaveUp_;
}

void Script::Tick() {
    if (actionPending_ || steps_.empty() || !steps_.front().condition())
        return;
    Step step = std::move(steps_.front());
    steps_.pop_front();
    actionPending_ = true;
    // Dropped with the script if it never got to run.
    QMetaObject::invokeMethod(
        &timer_,
        [this, action = std::move(step.action)] {
            actionPending_ = false;
            action();
        },
        Qt::QueuedConnection);
}

void Script::GiveUp() {
    gaveUp_ = true;
    failure_ = steps_.empty() ? QStringLiteral("the last step did not finish")
                              : QStringLiteral("waited in vain for: ") + steps_.front().what;
    steps_.clear();
    timer_.stop();
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<call::TfrmCalling*>(widget); dialog && dialog->isVisible())
            dialog->Close();
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            box->done(QMessageBox::Ok);
    }
}

} // namespace vocalyn::test
