#include "app/DBusCallNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QElapsedTimer>

#include <memory>
#include <utility>

namespace vocalyn {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kAnswerKey = QStringLiteral("answer");
const QString kDefaultKey = QStringLiteral("default");
constexpr int kCallTimeout_ms = 5000;
constexpr qsizetype kMaxCallerIDLength = 64;
constexpr uchar kUrgencyCritical = 2;
// Anyone on the bus may send actions; while a reply is awaited only a few are kept.
constexpr qsizetype kMaxEarlyActions = 8;

} // namespace

DBusCallNotifier::DBusCallNotifier(const QString& busAddress, const QString& appIcon)
    : appIcon_(appIcon) {
    connector_ = std::make_unique<DBusConnector>(
        this, busAddress, QStringLiteral("notifier"),
        [this](QDBusConnection& bus) {
            // Any sender: naming the service would make Qt look its owner up, a blocking call.
            // The handlers check the sender instead.
            bus.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                        SLOT(ActionInvoked(uint, QString)));
            bus.connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                        SLOT(NotificationClosed(uint, uint)));
        },
        [this](const QDBusConnection& bus) {
            bus_ = bus;
            ready_ = true;
            Update();
        });
}

DBusCallNotifier::~DBusCallNotifier() {
    Withdraw();
    connector_->Wait();
    if (bus_ && bus_->isConnected()) {
        bus_->disconnect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                         SLOT(ActionInvoked(uint, QString)));
        bus_->disconnect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                         SLOT(NotificationClosed(uint, uint)));
    }
    bus_.reset();
}

void DBusCallNotifier::ShowIncoming(const QString& callerID, bool ringTonePlaying) {
    QElapsedTimer clock;
    clock.start();
    wanted_ = Content{callerID, ringTonePlaying};
    wantedSent_ = false;
    Update();
    Account(clock.nsecsElapsed());
}

void DBusCallNotifier::Withdraw() {
    QElapsedTimer clock;
    clock.start();
    wanted_.reset();
    Update();
    Account(clock.nsecsElapsed());
}

void DBusCallNotifier::Account(qint64 elapsed_ns) {
    longestCall_us_ = std::max(longestCall_us_, elapsed_ns / 1000);
}

QString DBusCallNotifier::DisplayedCallerID(const QString& callerID) {
    QString line;
    line.reserve(std::min(callerID.size(), kMaxCallerIDLength + 1));
    for (const QChar c : callerID) {
        if (line.size() > kMaxCallerIDLength)
            break;
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            line += QLatin1Char(' ');
        // Direction overrides could make the text read differently from what it is.
        else if (category != QChar::Other_Format)
            line += c;
    }
    line = line.simplified();
    if (line.size() > kMaxCallerIDLength) {
        qsizetype cut = kMaxCallerIDLength - 1;
        if (line.at(cut - 1).isHighSurrogate())
            --cut;
        line = line.left(cut).trimmed() + QChar(0x2026);
    }
    return line;
}

QString DBusCallNotifier::EscapeMarkup(const QString& text) {
    QString escaped = text.toHtmlEscaped();
    // toHtmlEscaped leaves the apostrophe, which a quoted attribute could still end on.
    escaped.replace(QLatin1Char('\''), QLatin1String("&apos;"));
    return escaped;
}

void DBusCallNotifier::Update() {
    if (!ready_ || inFlight_ || !bus_ || !bus_->isConnected())
        return;
    if (wanted_ && !wantedSent_) {
        wantedSent_ = true;
        SendNotify(*wanted_);
    } else if (!wanted_ && shownId_ != 0) {
        QDBusMessage close =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, "CloseNotification");
        close << shownId_;
        shownId_ = 0;
        // Nothing waits for the reply; an error means the notification is gone already.
        bus_->send(close);
    }
}

void DBusCallNotifier::SendNotify(const Content& content) {
    const QString caller = DisplayedCallerID(content.callerID);
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(kUrgencyCritical));
    hints.insert(QStringLiteral("category"), QStringLiteral("call.incoming"));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("vocalyn"));
    if (content.silent)
        hints.insert(QStringLiteral("suppress-sound"), true);
    else
        hints.insert(QStringLiteral("sound-name"), QStringLiteral("phone-incoming-call"));
    const QString summary =
        caller.isEmpty() ? QStringLiteral("Incoming call") : caller + QStringLiteral(" calling...");
    const QString body =
        caller.isEmpty() ? QString() : QStringLiteral("Incoming call from ") + EscapeMarkup(caller);
    const QString answer = QStringLiteral("Answer");

    QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
    notify << QStringLiteral("Vocalyn") << shownId_ << appIcon_ << summary << body
           << QStringList{kDefaultKey, answer, kAnswerKey, answer} << hints
           << qint32(0); // the call's end takes it away, not a timeout
    inFlight_ = true;
    early_.clear();
    auto* watcher = new QDBusPendingCallWatcher(bus_->asyncCall(notify, kCallTimeout_ms), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* w) { NotifyAnswered(w); });
}

void DBusCallNotifier::NotifyAnswered(QDBusPendingCallWatcher* watcher) {
    watcher->deleteLater();
    inFlight_ = false;
    const QDBusPendingReply<uint> reply = *watcher;
    // An error (no service, a refusal, a timeout) leaves nothing to withdraw.
    if (!reply.isError() && reply.count() == 1) {
        shownId_ = reply.value();
        server_ = reply.reply().service();
    }
    // Actions handled before this reply could not be told from a stranger's until now.
    for (const EarlyAction& early : std::exchange(early_, {})) {
        if (Accepts(early.sender, early.id)) {
            Answer(early.key);
            break;
        }
    }
    Update();
}

bool DBusCallNotifier::FromServer() const {
    return calledFromDBus() && !server_.isEmpty() && message().service() == server_;
}

bool DBusCallNotifier::Accepts(const QString& sender, uint id) const {
    return !server_.isEmpty() && sender == server_ && id != 0 && id == shownId_ && wanted_;
}

void DBusCallNotifier::ActionInvoked(uint id, const QString& actionKey) {
    if (!calledFromDBus())
        return;
    const QString sender = message().service();
    if (inFlight_ && wanted_) {
        if (early_.size() < kMaxEarlyActions)
            early_.push_back({sender, id, actionKey});
        return;
    }
    if (Accepts(sender, id))
        Answer(actionKey);
}

void DBusCallNotifier::Answer(const QString& actionKey) {
    if ((actionKey == kAnswerKey || actionKey == kDefaultKey) && OnAnswer)
        OnAnswer();
}

void DBusCallNotifier::NotificationClosed(uint id, uint) {
    if (FromServer() && id != 0 && id == shownId_)
        shownId_ = 0; // the user dismissed it or it expired: it stays away for this call
}

} // namespace vocalyn
