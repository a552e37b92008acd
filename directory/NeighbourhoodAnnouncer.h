#pragma once

#include "net/Ports.h"

#include <QString>

#include <cstdint>

// How a running copy makes itself known to the network neighbourhood, so that the browsers of
// the other copies list it even where computers themselves are not announced.
namespace vocalyn::directory {

// The service type under which copies announce themselves, and the port they answer on.
inline constexpr char kVocalynServiceType[] = "_vocalyn._udp";
inline constexpr std::uint16_t kVocalynServicePort = net::kSignallingPort;

class NeighbourhoodAnnouncer {
public:
    virtual ~NeighbourhoodAnnouncer() = default;

    // Announces this copy under `instanceName` (the caller ID; the host name when empty) on
    // `port`, replacing an earlier announcement. Returns at once: the announcement goes out,
    // and is renewed when the neighbourhood service restarts, in the background. Never throws.
    virtual void Announce(const QString& instanceName, std::uint16_t port) = 0;

    // Takes the announcement back. Never throws.
    virtual void Withdraw() = 0;
};

} // namespace vocalyn::directory
