#include "net/LocalAddress.h"

#include "net/DottedAddress.h"

namespace vocalyn::net {

namespace {

constexpr int kLabelNameBufferSize = 250;
constexpr int kLookupNameBufferSize = 64;

} // namespace

LocalAddress FindLocalAddress(Resolver& resolver) {
    LocalAddress result;
    try {
        result.hostName = QString::fromLocal8Bit(resolver.hostName(kLabelNameBufferSize));
        const ResolveResult lookup = resolver.lookupIPv4(resolver.hostName(kLookupNameBufferSize));
        if (lookup.error == 0) {
            for (quint32 address : lookup.addresses)
                result.address = DottedText(address);
        }
    } catch (...) {
        result.address.clear(); // the caller shows what was found
    }
    return result;
}

} // namespace vocalyn::net
