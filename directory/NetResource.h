#pragma once

#include <cstdint>

// One record of the network neighbourhood, as a neighbourhood source hands it out, and the
// values of its fields. The field names are those the browser's algorithms speak of.
namespace vocalyn::directory {

// dwScope
inline constexpr std::uint32_t RESOURCE_GLOBALNET = 2;

// dwType, and the resource type a walk asks for.
inline constexpr std::uint32_t RESOURCETYPE_ANY = 0;
inline constexpr std::uint32_t RESOURCETYPE_DISK = 1;

// dwDisplayType: what the record is. 0 is also the walk's "list every record" filter.
inline constexpr std::uint32_t RESOURCEDISPLAYTYPE_GENERIC = 0;
inline constexpr std::uint32_t RESOURCEDISPLAYTYPE_DOMAIN = 1;
inline constexpr std::uint32_t RESOURCEDISPLAYTYPE_SERVER = 2;
inline constexpr std::uint32_t RESOURCEDISPLAYTYPE_SHARE = 3;
inline constexpr std::uint32_t RESOURCEDISPLAYTYPE_NETWORK = 6;

// dwUsage: bits.
inline constexpr std::uint32_t RESOURCEUSAGE_CONNECTABLE = 0x1;
inline constexpr std::uint32_t RESOURCEUSAGE_CONTAINER = 0x2;

// A record as it lies in an enumeration buffer: the texts are zero-terminated 8-bit strings in
// the locale's encoding, stored in the same buffer after the records; a null pointer reads as
// the empty text.
struct NetResource {
    std::uint32_t dwScope = 0;
    std::uint32_t dwType = 0;
    std::uint32_t dwDisplayType = 0;
    std::uint32_t dwUsage = 0;
    const char* lpLocalName = nullptr;
    // For a server its connection path: two backslashes and the host name.
    const char* lpRemoteName = nullptr;
    // For a server its description.
    const char* lpComment = nullptr;
    // The name of the network provider.
    const char* lpProvider = nullptr;
};

} // namespace vocalyn::directory
