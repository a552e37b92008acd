#include "app/DBusScreenSaverInhibitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace vocalyn {

namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kInterface = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kApplicationName = QStringLiteral("Vocalyn");
constexpr int kCallTimeout_ms = 5000;

} // namespace

DBusScreenSaverInhibitor::DBusScreenSaverInhibitor(const QString& busAddress)
    : connector_(std::make_unique<DBusConnector>(this, busAddress, QStringLiteral("screensaver"),
                                                 nullptr, [this](const QDBusConnection& bus) {
                                                     bus_ = bus;
                                                     ready_ = true;
                                                     Update();
                                                 })) {}

DBusScreenSaverInhibitor::~DBusScreenSaverInhibitor() {
    // An Inhibit still unanswered ends with our bus connection, when the program exits.
    Release();
    connector_->Wait();
    bus_.reset();
}

void DBusScreenSaverInhibitor::Inhibit(const QString& reason) {
    if (wanted_)
        return;
    wanted_ = true;
    asked_ = false;
    reason_ = reason;
    Update();
}

void DBusScreenSaverInhibitor::Release() {
    wanted_ = false;
    Update();
}

void DBusScreenSaverInhibitor::Update() {
    if (!ready_ || inFlight_ || !bus_ || !bus_->isConnected())
        return;
    if (wanted_ && !cookie_ && !asked_) {
        asked_ = true;
        inFlight_ = true;
        QDBusMessage inhibit =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Inhibit"));
        inhibit << kApplicationName << reason_;
        auto* watcher =
            new QDBusPendingCallWatcher(bus_->asyncCall(inhibit, kCallTimeout_ms), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher* w) { InhibitAnswered(w); });
    } else if (!wanted_ && cookie_) {
        QDBusMessage uninhibit = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                                QStringLiteral("UnInhibit"));
        uninhibit << *cookie_;
        cookie_.reset();
        // Nothing waits for the reply; an error means the inhibition is gone already.
        bus_->send(uninhibit);
    }
}

void DBusScreenSaverInhibitor::InhibitAnswered(QDBusPendingCallWatcher* watcher) {
    watcher->deleteLater();
    inFlight_ = false;
    const QDBusPendingReply<uint> reply = *watcher;
    // An error (no service, a refusal, a timeout) leaves nothing to give back.
    if (!reply.isError() && reply.count() == 1)
        cookie_ = reply.value();
    // A Release that came meanwhile gives the cookie back at once.
    Update();
}

} // namespace vocalyn
