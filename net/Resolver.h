#pragma once

#include <QByteArray>
#include <QList>

namespace vocalyn::net {

// Resolver failures, numbered as Windows Sockets numbers them.
inline constexpr int kHostNotFound = 11001;
inline constexpr int kTryAgain = 11002;
inline constexpr int kNoRecovery = 11003;
inline constexpr int kNoData = 11004;

struct ResolveResult {
    int error = 0;            // 0 when the lookup succeeded, else a Windows Sockets number
    QList<quint32> addresses; // IPv4, host byte order, in the resolver's order
};

// The system's host name and IPv4 host lookup, behind an interface so that
// tests can answer lookups themselves.
class Resolver {
public:
    virtual ~Resolver() = default;

    // Looks name up as an IPv4 host.
    virtual ResolveResult LookUpIPv4(const QByteArray& name) = 0;

    // The local host name as read into a buffer of bufferSize bytes: the text
    // up to the first zero byte, cut to the buffer when the name is longer.
    virtual QByteArray HostName(int bufferSize) = 0;
};

} // namespace vocalyn::net
