#include "net/LocalAddress.h"

#include "base/Log.h"
#include "net/DottedAddress.h"

#include <optional>

namespace vocalyn::net {

namespace {

constexpr int kLabelNameBufferSize = 250;
constexpr int kLookupNameBufferSize = 64;

bool Usable(const InterfaceAddress& item) {
    return item.up && !item.loopback && !IsLoopback(item.address);
}

std::optional<quint32> InterfaceFallback(NetworkInterfaces& interfaces) {
    const QList<InterfaceAddress> all = interfaces.Addresses();
    const QByteArray routed = interfaces.DefaultRouteInterface();
    if (!routed.isEmpty()) {
        for (const InterfaceAddress& item : all) {
            if (item.interfaceName == routed && Usable(item))
                return item.address;
        }
    }
    for (const InterfaceAddress& item : all) {
        if (Usable(item))
            return item.address;
    }
    return std::nullopt;
}

} // namespace

LocalAddress FindLocalAddress(Resolver& resolver, NetworkInterfaces* interfaces) {
    LocalAddress result;
    try {
        result.hostName = QString::fromLocal8Bit(resolver.HostName(kLabelNameBufferSize));
        const ResolveResult lookup = resolver.LookUpIPv4(resolver.HostName(kLookupNameBufferSize));
        if (lookup.error == 0) {
            for (quint32 address : lookup.addresses) {
                if (!IsLoopback(address))
                    result.address = DottedText(address);
            }
        }
        if (result.address.isEmpty() && interfaces) {
            if (const std::optional<quint32> address = InterfaceFallback(*interfaces))
                result.address = DottedText(*address);
        }
    } catch (...) {
        LogSwallowed(lcNet(), "local address lookup");
        result.address.clear(); // the caller shows what was found
    }
    return result;
}

} // namespace vocalyn::net
