#pragma once

#include "net/DottedAddress.h"
#include "net/Resolver.h"

#include <QString>

namespace vocalyn::net {

// The process-wide socket services the endpoints share: host lookup and the
// local host name. Sockets need no start-up on this platform, so that is all.
class SocketLayer {
public:
    explicit SocketLayer(Resolver& resolver);

    // The dotted IPv4 text for a host name or dotted address. "localhost" in
    // any letter case is 127.0.0.1 without a lookup; a dotted address is
    // returned as it is; anything else goes to the resolver, whose first
    // answer wins. Throws EIdSocketError when the lookup fails.
    QString LookUpHostAddress(const QString& name);

    // The local host name, read into a 250-byte buffer.
    QString LocalHostName();

    Resolver& resolver() { return resolver_; }

private:
    Resolver& resolver_;
};

} // namespace vocalyn::net
