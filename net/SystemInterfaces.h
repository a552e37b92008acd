#pragma once

#include "net/NetworkInterfaces.h"

namespace vocalyn::net {

// The interfaces as getifaddrs lists them, the default route as /proc/net/route shows it.
class SystemInterfaces final : public NetworkInterfaces {
public:
    QList<InterfaceAddress> Addresses() override;
    QByteArray DefaultRouteInterface() override;
};

// The interface of the default route in a routing table in the layout of /proc/net/route: the
// route to 0.0.0.0/0 that is up, the lowest metric first. Empty when there is none.
QByteArray DefaultRouteInterface(const QByteArray& routeTable);

} // namespace vocalyn::net
