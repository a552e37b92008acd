#pragma once

#include "net/Resolver.h"

#include <QString>

namespace vocalyn::net {

struct LocalAddress {
    QString hostName; // the local host name, from a 250-byte query
    QString address;  // one dotted IPv4 address of it; empty when the name does not resolve
};

// The local host name and the last address its lookup gives, in the
// resolver's order. The name for the lookup is queried again into 64 bytes
// and goes to the resolver as it is ("localhost" is not special here).
// Never throws.
LocalAddress FindLocalAddress(Resolver& resolver);

} // namespace vocalyn::net
