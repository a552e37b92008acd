#include "net/SystemResolver.h"

#include "net/Errors.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace vocalyn::net {

namespace {

int LookupErrorNumber(int eaiCode) {
    switch (eaiCode) {
    case EAI_NONAME:
        return kHostNotFound;
    case EAI_AGAIN:
        return kTryAgain;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return kNoData;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: // the name exists, but has no IPv4 address
        return kNoData;
#endif
    case EAI_SYSTEM:
        return WinsockErrorNumber(errno);
    default:
        return kNoRecovery;
    }
}

} // namespace

ResolveResult SystemResolver::LookUpIPv4(const QByteArray& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM; // one entry per address instead of one per socket type

    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(name.constData(), nullptr, &hints, &list);
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(list, &::freeaddrinfo);

    ResolveResult result;
    if (rc != 0) {
        result.error = LookupErrorNumber(rc);
        return result;
    }
    for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || entry->ai_addr == nullptr)
            continue;
        sockaddr_in address{};
        std::memcpy(&address, entry->ai_addr, sizeof address);
        result.addresses.append(ntohl(address.sin_addr.s_addr));
    }
    if (result.addresses.isEmpty())
        result.error = kNoData;
    return result;
}

QByteArray SystemResolver::HostName(int bufferSize) {
    if (bufferSize <= 0)
        return {};
    std::vector<char> buffer(static_cast<size_t>(bufferSize), '\0');
    // A name longer than the buffer comes back cut and without a terminator;
    // the result is not examined, the buffer is read up to its end at most.
    (void)::gethostname(buffer.data(), buffer.size());
    return QByteArray(buffer.data(),
                      static_cast<qsizetype>(::strnlen(buffer.data(), buffer.size())));
}

} // namespace vocalyn::net
