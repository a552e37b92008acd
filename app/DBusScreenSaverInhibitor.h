#pragma once

#include "app/DBusConnector.h"
#include "app/ScreenSaverInhibitor.h"

#include <QDBusConnection>
#include <QObject>

#include <memory>
#include <optional>

class QDBusPendingCallWatcher;

namespace vocalyn {

// The screen saver held off through the freedesktop ScreenSaver service on the session bus. The
// bus is reached on a helper thread and every call to the service is asynchronous, so that a
// missing or hung service never holds up the GUI thread.
class DBusScreenSaverInhibitor : public QObject, public ScreenSaverInhibitor {
    Q_OBJECT
public:
    // `busAddress` empty means the session bus.
    explicit DBusScreenSaverInhibitor(const QString& busAddress = {});
    ~DBusScreenSaverInhibitor() override;

    void Inhibit(const QString& reason) override;
    void Release() override;

    // True once the attempt to reach the bus has ended, whatever its outcome.
    bool Ready() const { return ready_; }

private:
    // Brings the service in line with what is wanted, one Inhibit call at a time.
    void Update();
    void InhibitAnswered(QDBusPendingCallWatcher* watcher);

    std::unique_ptr<DBusConnector> connector_;
    std::optional<QDBusConnection> bus_;
    bool ready_ = false;
    bool wanted_ = false;
    bool asked_ = false;    // Inhibit was sent for the present want; not repeated after a refusal
    bool inFlight_ = false; // an Inhibit call awaits its reply
    QString reason_;
    std::optional<uint> cookie_; // the service's token for the inhibition it holds for us
};

} // namespace vocalyn
