#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QSet>

namespace vocalyn::fakes {

// A screen saver service (org.freedesktop.ScreenSaver) on a given bus, recording what it is asked
// and blanking nothing. Lives on the GUI thread; its methods answer from the event loop, so a
// test waits for them with bounded waits.
class FakeScreenSaver : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    struct Request {
        QString application;
        QString reason;
        uint cookie = 0;
    };

    explicit FakeScreenSaver(const QString& busAddress);
    ~FakeScreenSaver() override;

    // True once it owns the service's name.
    bool Registered() const { return registered_; }
    // Answers the Inhibit calls held back while holdReplies was set.
    void ReleaseReplies();

    QList<Request> inhibits; // every Inhibit call, in order
    QList<uint> uninhibits;  // the cookies UnInhibit was called with
    QSet<uint> held;         // the inhibitions in force
    bool holdReplies = false;

public Q_SLOTS:
    uint Inhibit(const QString& application_name, const QString& reason_for_inhibit);
    void UnInhibit(uint cookie);

private:
    QString connectionName_;
    QDBusConnection bus_;
    bool registered_ = false;
    uint lastCookie_ = 0;
    QList<QDBusMessage> heldReplies_;
};

} // namespace vocalyn::fakes
