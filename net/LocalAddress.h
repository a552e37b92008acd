#pragma once

#include "net/NetworkInterfaces.h"
#include "net/Resolver.h"

#include <QString>

namespace vocalyn::net {

struct LocalAddress {
    QString hostName; // the local host name, from a 250-byte query
    QString address;  // one dotted IPv4 address of this computer; empty when it has none
};

// The local host name and an address other computers can reach it at: the last address the
// lookup of the name gives, in the resolver's order, leaving out loopback addresses
// (127.0.0.0/8). The name for the lookup is queried again into 64 bytes and goes to the resolver
// as it is ("localhost" is not special here).
//
// Many installers map the host name to 127.0.1.1, which no peer can call. When the lookup fails
// or gives only loopback addresses, the address comes from the interfaces instead: that of the
// interface carrying the default route, else the first of an interface that is up and not
// loopback. `interfaces` may be null: no interface is known then. Never throws.
LocalAddress FindLocalAddress(Resolver& resolver, NetworkInterfaces* interfaces);

// True for 127.0.0.0/8.
constexpr bool IsLoopback(quint32 address) {
    return (address >> 24) == 127;
}

} // namespace vocalyn::net
