#pragma once

#include "net/NetworkInterfaces.h"

namespace vocalyn::fakes {

// A machine's interfaces and default route as a test describes them.
class FakeInterfaces final : public net::NetworkInterfaces {
public:
    QList<net::InterfaceAddress> list;
    QByteArray routed; // the default route's interface; empty for none

    QList<net::InterfaceAddress> Addresses() override { return list; }
    QByteArray DefaultRouteInterface() override { return routed; }
};

} // namespace vocalyn::fakes
