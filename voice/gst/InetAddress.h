#pragma once

#include "voice/gst/RtpPacketFilter.h"

#include <QString>

#include <gio/gio.h>

namespace vocalyn::voice {

// `address` as a number, or 0 when it is absent or not IPv4.
inline IPv4 ToIPv4(GInetAddress* address) {
    if (!address || g_inet_address_get_family(address) != G_SOCKET_FAMILY_IPV4)
        return 0;
    const guint8* bytes = g_inet_address_to_bytes(address);
    return IPv4(bytes[0]) << 24 | IPv4(bytes[1]) << 16 | IPv4(bytes[2]) << 8 | IPv4(bytes[3]);
}

inline QString DottedIPv4(IPv4 address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg(address >> 16 & 0xFF)
        .arg(address >> 8 & 0xFF)
        .arg(address & 0xFF);
}

} // namespace vocalyn::voice
