#pragma once

#include <QDBusConnection>
#include <QString>

#include <functional>
#include <memory>

class QObject;
class QThread;

namespace vocalyn {

// Reaches a D-Bus bus on a helper thread: connecting runs the bus's handshake and may even start
// a bus, which must never hold up the GUI thread.
class DBusConnector {
public:
    // `busAddress` empty means the session bus; any other address gets a private connection
    // named after `purpose`, closed again with this object. `prepare` runs on the helper thread
    // with the connection (to subscribe to signals before any can be missed); `reached` runs on
    // `context`'s thread once the attempt has ended, connected or not.
    DBusConnector(QObject* context, const QString& busAddress, const QString& purpose,
                  std::function<void(QDBusConnection& bus)> prepare,
                  std::function<void(const QDBusConnection& bus)> reached);
    ~DBusConnector();
    DBusConnector(const DBusConnector&) = delete;
    DBusConnector& operator=(const DBusConnector&) = delete;

    // Blocks until the helper thread has ended.
    void Wait();

private:
    QString connectionName_; // of a private connection; empty for the session bus
    std::unique_ptr<QThread> thread_;
};

} // namespace vocalyn
