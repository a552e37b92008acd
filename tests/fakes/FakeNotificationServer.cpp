#include "tests/fakes/FakeNotificationServer.h"

#include <QDBusConnectionInterface>

namespace vocalyn::fakes {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
constexpr uint kClosedByUser = 2;
constexpr uint kClosedByCall = 3;

} // namespace

PrivateBus::PrivateBus() {
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--print-address"),
                   QStringLiteral("--nofork"),
                   QStringLiteral("--address=unix:dir=") + dir_.path()});
    if (!daemon_.waitForStarted(5000))
        return;
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
    if (daemon_.state() == QProcess::NotRunning)
        return;
    daemon_.terminate();
    if (!daemon_.waitForFinished(3000)) {
        daemon_.kill();
        daemon_.waitForFinished(2000);
    }
}

QString PrivateBus::Errors() {
    return daemon_.errorString() + QLatin1Char(' ') +
           QString::fromLocal8Bit(daemon_.readAllStandardError());
}

FakeNotificationServer::FakeNotificationServer(const QString& busAddress)
    : connectionName_(QStringLiteral("fake-notifications-%1").arg(quintptr(this))),
      bus_(QDBusConnection::connectToBus(busAddress, connectionName_)) {
    registered_ = bus_.isConnected() &&
                  bus_.registerObject(kPath, this, QDBusConnection::ExportAllSlots) &&
                  bus_.registerService(kService);
}

FakeNotificationServer::~FakeNotificationServer() {
    if (registered_) {
        bus_.unregisterService(kService);
        bus_.unregisterObject(kPath);
    }
    bus_ = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(connectionName_);
}

uint FakeNotificationServer::Notify(const QString& app_name, uint replaces_id,
                                    const QString& app_icon, const QString& summary,
                                    const QString& body, const QStringList& actions,
                                    const QVariantMap& hints, int expire_timeout) {
    Notification notification{0,    app_name, replaces_id, app_icon,      summary,
                              body, actions,  hints,       expire_timeout};
    if (refuse) {
        notifications << notification;
        sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Notifications are off"));
        return 0;
    }
    // As the protocol says: a replaced notification keeps its id.
    notification.id = shown.contains(replaces_id) ? replaces_id : ++lastId_;
    notifications << notification;
    shown.insert(notification.id);
    if (holdReplies) {
        setDelayedReply(true);
        heldReplies_ << message().createReply(notification.id);
    }
    return notification.id;
}

void FakeNotificationServer::ReleaseReplies() {
    holdReplies = false;
    for (const QDBusMessage& reply : std::as_const(heldReplies_))
        bus_.send(reply);
    heldReplies_.clear();
}

void FakeNotificationServer::CloseNotification(uint id) {
    closeRequests << id;
    if (shown.remove(id))
        Emit(QStringLiteral("NotificationClosed"), {id, kClosedByCall});
}

void FakeNotificationServer::InvokeAction(uint id, const QString& actionKey) {
    Emit(QStringLiteral("ActionInvoked"), {id, actionKey});
}

void FakeNotificationServer::Dismiss(uint id) {
    shown.remove(id);
    Emit(QStringLiteral("NotificationClosed"), {id, kClosedByUser});
}

QStringList FakeNotificationServer::GetCapabilities() {
    return {QStringLiteral("actions"), QStringLiteral("body"), QStringLiteral("body-markup"),
            QStringLiteral("sound")};
}

QString FakeNotificationServer::GetServerInformation(QString& vendor, QString& version,
                                                     QString& spec_version) {
    vendor = QStringLiteral("test");
    version = QStringLiteral("1");
    spec_version = QStringLiteral("1.2");
    return QStringLiteral("fake");
}

void FakeNotificationServer::Emit(const QString& name, const QVariantList& arguments) {
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kService, name);
    signal.setArguments(arguments);
    bus_.send(signal);
}

} // namespace vocalyn::fakes
