#include "net/SystemInterfaces.h"

#include <QFile>

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstring>
#include <limits>
#include <memory>

namespace vocalyn::net {

namespace {

// Far beyond any desktop's routing table; a longer file is read up to here.
constexpr qint64 kRouteTableLimit = 1 << 20;
constexpr unsigned kRouteUp = 0x1;

bool HexField(const QByteArray& field, quint64& value) {
    bool ok = false;
    value = field.toULongLong(&ok, 16);
    return ok;
}

} // namespace

QByteArray DefaultRouteInterface(const QByteArray& routeTable) {
    QByteArray best;
    quint64 bestMetric = std::numeric_limits<quint64>::max();
    const QList<QByteArray> lines = routeTable.split('\n');
    // The first line names the columns.
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() < 8)
            continue;
        quint64 destination = 0, flags = 0, mask = 0;
        bool metricOk = false;
        const quint64 metric = fields[6].toULongLong(&metricOk, 10);
        if (!HexField(fields[1], destination) || !HexField(fields[3], flags) ||
            !HexField(fields[7], mask) || !metricOk)
            continue;
        if (destination != 0 || mask != 0 || (flags & kRouteUp) == 0 || fields[0].isEmpty())
            continue;
        if (best.isEmpty() || metric < bestMetric) {
            best = fields[0];
            bestMetric = metric;
        }
    }
    return best;
}

QList<InterfaceAddress> SystemInterfaces::Addresses() {
    QList<InterfaceAddress> result;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return result;
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owner(list, &::freeifaddrs);
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        sockaddr_in address{};
        std::memcpy(&address, entry->ifa_addr, sizeof address);
        InterfaceAddress item;
        item.interfaceName = QByteArray(entry->ifa_name != nullptr ? entry->ifa_name : "");
        item.address = ntohl(address.sin_addr.s_addr);
        item.up = (entry->ifa_flags & IFF_UP) != 0;
        item.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        result.append(item);
    }
    return result;
}

QByteArray SystemInterfaces::DefaultRouteInterface() {
    QFile file(QStringLiteral("/proc/net/route"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return net::DefaultRouteInterface(file.read(kRouteTableLimit));
}

} // namespace vocalyn::net
