#pragma once

#include <QByteArray>
#include <QList>

namespace vocalyn::net {

// One IPv4 address of a network interface.
struct InterfaceAddress {
    QByteArray interfaceName;
    quint32 address = 0; // host byte order
    bool up = false;
    bool loopback = false;
};

// The machine's network interfaces and its default route, behind an interface so that tests can
// describe any machine.
class NetworkInterfaces {
public:
    virtual ~NetworkInterfaces() = default;

    // Every IPv4 address of every interface, in the system's order.
    virtual QList<InterfaceAddress> Addresses() = 0;

    // The name of the interface that carries the default IPv4 route; empty when there is none.
    virtual QByteArray DefaultRouteInterface() = 0;
};

} // namespace vocalyn::net
