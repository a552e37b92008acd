#include "app/DBusConnector.h"

#include <QThread>

#include <atomic>
#include <optional>

namespace vocalyn {

DBusConnector::DBusConnector(QObject* context, const QString& busAddress, const QString& purpose,
                             std::function<void(QDBusConnection& bus)> prepare,
                             std::function<void(const QDBusConnection& bus)> reached) {
    static std::atomic<int> connections{0};
    if (!busAddress.isEmpty())
        connectionName_ = QStringLiteral("vocalyn-%1-%2").arg(purpose).arg(++connections);
    auto bus = std::make_shared<std::optional<QDBusConnection>>();
    thread_.reset(
        QThread::create([bus, busAddress, name = connectionName_, prepare = std::move(prepare)] {
            QDBusConnection connection = busAddress.isEmpty()
                                             ? QDBusConnection::sessionBus()
                                             : QDBusConnection::connectToBus(busAddress, name);
            if (connection.isConnected() && prepare)
                prepare(connection);
            *bus = connection;
        }));
    QObject::connect(thread_.get(), &QThread::finished, context,
                     [bus, reached = std::move(reached)] { reached(**bus); });
    thread_->start();
}

DBusConnector::~DBusConnector() {
    Wait();
    if (!connectionName_.isEmpty())
        QDBusConnection::disconnectFromBus(connectionName_);
}

void DBusConnector::Wait() {
    thread_->wait();
}

} // namespace vocalyn
