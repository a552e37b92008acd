#pragma once

#include "net/Resolver.h"

namespace vocalyn::net {

// The resolver of the C library (getaddrinfo, gethostname).
class SystemResolver final : public Resolver {
public:
    ResolveResult LookUpIPv4(const QByteArray& name) override;
    QByteArray HostName(int bufferSize) override;
};

} // namespace vocalyn::net
