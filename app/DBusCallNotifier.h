#pragma once

#include "app/CallNotifier.h"
#include "app/DBusConnector.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>

#include <memory>
#include <optional>

class QDBusPendingCallWatcher;

namespace vocalyn {

// The call announced as a desktop notification through the freedesktop Notifications service on
// the session bus. The bus is reached on a helper thread and every call to the service is
// asynchronous, so that a missing, hung or refusing service never holds up the GUI thread.
class DBusCallNotifier : public QObject, public CallNotifier, protected QDBusContext {
    Q_OBJECT
public:
    // `busAddress` empty means the session bus; `appIcon` is the installed icon's name.
    explicit DBusCallNotifier(const QString& busAddress = {},
                              const QString& appIcon = QStringLiteral("vocalyn"));
    ~DBusCallNotifier() override;

    void ShowIncoming(const QString& callerID, bool ringTonePlaying) override;
    void Withdraw() override;

    // True once the attempt to reach the bus has ended, whatever its outcome.
    bool Ready() const { return ready_; }
    // The longest time the GUI thread spent in one ShowIncoming or Withdraw so far.
    qint64 LongestCall_us() const { return longestCall_us_; }

    // The caller ID as one line of plain text, without control characters, cut to a length a
    // notification can show.
    static QString DisplayedCallerID(const QString& callerID);
    // `text` for the notification body, whose markup would otherwise read tags from the network.
    static QString EscapeMarkup(const QString& text);

private Q_SLOTS:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);

private:
    struct Content {
        QString callerID;
        bool silent = false;
    };

    // Brings the service in line with what should be shown, one call at a time.
    void Update();
    void SendNotify(const Content& content);
    void NotifyAnswered(QDBusPendingCallWatcher* watcher);
    bool FromServer() const;
    // Whether an action from `sender` on notification `id` is the service's, on the one shown.
    bool Accepts(const QString& sender, uint id) const;
    void Answer(const QString& actionKey);
    void Account(qint64 elapsed_ns);

    QString appIcon_;
    std::unique_ptr<DBusConnector> connector_;
    std::optional<QDBusConnection> bus_;
    bool ready_ = false;
    std::optional<Content> wanted_; // what should be on screen
    bool wantedSent_ = false;
    bool inFlight_ = false; // a Notify call awaits its reply
    uint shownId_ = 0;      // the service's id of the notification on screen
    QString server_;        // the service's unique bus name, from its last reply
    // Actions that came while a Notify call awaited its reply: the sender's bus name, the id
    // and the key, weighed once the reply says which notification is the service's.
    struct EarlyAction {
        QString sender;
        uint id = 0;
        QString key;
    };
    QList<EarlyAction> early_;
    qint64 longestCall_us_ = 0;
};

} // namespace vocalyn
