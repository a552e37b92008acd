#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

namespace vocalyn::fakes {

// A message bus of its own for a test (dbus-daemon --session), listening on a socket file so
// that programs in other network namespaces reach it too. Stopped with the object.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Empty when the daemon did not start.
    const QString& address() const { return address_; }
    // Why the daemon did not start.
    QString Errors();

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
};

// A desktop notification service (org.freedesktop.Notifications) on a given bus, recording what
// it is asked and showing nothing. Lives on the GUI thread; its methods answer from the event
// loop, so a test waits for them with bounded waits.
class FakeNotificationServer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notification {
        uint id = 0;
        QString appName;
        uint replacesId = 0;
        QString appIcon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int expireTimeout_ms = -1;
    };

    explicit FakeNotificationServer(const QString& busAddress);
    ~FakeNotificationServer() override;

    // True once it owns the service's name.
    bool Registered() const { return registered_; }

    // As the user choosing an action, or dismissing the notification.
    void InvokeAction(uint id, const QString& actionKey);
    void Dismiss(uint id);
    // Answers the Notify calls held back while holdReplies was set.
    void ReleaseReplies();

    QList<Notification> notifications; // every Notify call, in order
    QList<uint> closeRequests;         // the ids CloseNotification was called with
    QSet<uint> shown;                  // what is on the imagined screen now
    bool refuse = false;               // answer Notify with an error
    bool holdReplies = false;          // keep Notify's answers back until ReleaseReplies

public Q_SLOTS:
    uint Notify(const QString& app_name, uint replaces_id, const QString& app_icon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expire_timeout);
    void CloseNotification(uint id);
    QStringList GetCapabilities();
    QString GetServerInformation(QString& vendor, QString& version, QString& spec_version);

private:
    void Emit(const QString& name, const QVariantList& arguments);

    QString connectionName_;
    QDBusConnection bus_;
    bool registered_ = false;
    uint lastId_ = 0;
    QList<QDBusMessage> heldReplies_;
};

} // namespace vocalyn::fakes
