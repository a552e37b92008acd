#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <utility>

namespace vocalyn::fakes {

// A screen saver service (org.freedesktop.ScreenSaver) on a given bus, recording what it is asked
// and blanking nothing. Its methods answer from the GUI thread's event loop.
class FakeScreenSaver : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    explicit FakeScreenSaver(const QString& busAddress)
        : bus_(QDBusConnection::connectToBus(busAddress, name_)) {
        registered_ = bus_.registerObject(kPath, this, QDBusConnection::ExportAllSlots) &&
                      bus_.registerService(QStringLiteral("org.freedesktop.ScreenSaver"));
    }
    ~FakeScreenSaver() override {
        bus_ = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(name_);
    }

    bool Registered() const { return registered_; } // owns the service's name
    // Answers the Inhibit calls held back while holdReplies was set.
    void ReleaseReplies() {
        holdReplies = false;
        for (const QDBusMessage& reply : std::exchange(heldReplies_, {}))
            bus_.send(reply);
    }

    QStringList inhibits;   // "APPLICATION: REASON" of every Inhibit call, in order
    QList<uint> cookies;    // the cookie each of them got
    QList<uint> uninhibits; // the cookies UnInhibit was called with
    QSet<uint> held;        // the inhibitions in force
    bool holdReplies = false;

public Q_SLOTS:
    uint Inhibit(const QString& application_name, const QString& reason_for_inhibit) {
        // Far from 0 and 1, so that a cookie the caller makes up shows.
        const uint cookie = 1001 + cookies.size();
        inhibits << application_name + QStringLiteral(": ") + reason_for_inhibit;
        cookies << cookie;
        held.insert(cookie);
        if (holdReplies) {
            setDelayedReply(true);
            heldReplies_ << message().createReply(cookie);
        }
        return cookie;
    }
    void UnInhibit(uint cookie) {
        uninhibits << cookie;
        held.remove(cookie);
    }

private:
    static inline const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
    const QString name_ = QStringLiteral("fake-screensaver-%1").arg(quintptr(this));
    QDBusConnection bus_;
    bool registered_ = false;
    QList<QDBusMessage> heldReplies_;
};

} // namespace vocalyn::fakes
