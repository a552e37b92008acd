#include "tests/fakes/FakeScreenSaver.h"

namespace vocalyn::fakes {

namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");

} // namespace

FakeScreenSaver::FakeScreenSaver(const QString& busAddress)
    : connectionName_(QStringLiteral("fake-screensaver-%1").arg(quintptr(this))),
      bus_(QDBusConnection::connectToBus(busAddress, connectionName_)) {
    registered_ = bus_.isConnected() &&
                  bus_.registerObject(kPath, this, QDBusConnection::ExportAllSlots) &&
                  bus_.registerService(kService);
}

FakeScreenSaver::~FakeScreenSaver() {
    if (registered_) {
        bus_.unregisterService(kService);
        bus_.unregisterObject(kPath);
    }
    bus_ = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(connectionName_);
}

uint FakeScreenSaver::Inhibit(const QString& application_name, const QString& reason_for_inhibit) {
    // Cookies start away from 0 and 1, so that a cookie made up by the caller shows.
    const uint cookie = 1000 + ++lastCookie_;
    inhibits << Request{application_name, reason_for_inhibit, cookie};
    held.insert(cookie);
    if (holdReplies) {
        setDelayedReply(true);
        heldReplies_ << message().createReply(cookie);
    }
    return cookie;
}

void FakeScreenSaver::ReleaseReplies() {
    holdReplies = false;
    for (const QDBusMessage& reply : std::as_const(heldReplies_))
        bus_.send(reply);
    heldReplies_.clear();
}

void FakeScreenSaver::UnInhibit(uint cookie) {
    uninhibits << cookie;
    held.remove(cookie);
}

} // namespace vocalyn::fakes
