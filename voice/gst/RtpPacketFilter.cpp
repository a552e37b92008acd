#include "voice/gst/RtpPacketFilter.h"

namespace vocalyn::voice {

bool IsWellFormedRtp(std::span<const std::uint8_t> packet, int payloadType) {
    constexpr std::size_t kFixedHeader = 12;
    const std::size_t size = packet.size();
    if (size < kFixedHeader)
        return false;
    const std::uint8_t first = packet[0];
    if ((first >> 6) != 2)
        return false;
    if ((packet[1] & 0x7F) != payloadType)
        return false;

    std::size_t header = kFixedHeader + 4 * std::size_t(first & 0x0F);
    if (header > size)
        return false;
    if (first & 0x10) { // header extension: 4 bytes, then a length in 32-bit words
        if (header + 4 > size)
            return false;
        const std::size_t words = std::size_t(packet[header + 2]) << 8 | packet[header + 3];
        header += 4 + 4 * words;
        if (header > size)
            return false;
    }
    if (first & 0x20) { // padding: its length is the last byte, and counts itself
        const std::size_t padding = packet[size - 1];
        if (padding == 0 || header + padding > size)
            return false;
    }
    return true;
}

bool ShouldPlay(std::span<const std::uint8_t> packet, IPv4 sender, IPv4 peer) {
    return peer != 0 && sender == peer && IsWellFormedRtp(packet, kOpusPayloadType);
}

bool StreamLatch::Follows(std::span<const std::uint8_t> packet, IPv4 peer, std::int64_t now_ms) {
    if (packet.size() < 12)
        return false;
    const std::uint32_t ssrc = std::uint32_t(packet[8]) << 24 | std::uint32_t(packet[9]) << 16 |
                               std::uint32_t(packet[10]) << 8 | packet[11];
    if (peer != peer_) {
        peer_ = peer;
        following_ = false;
    }
    if (!following_ || (ssrc != ssrc_ && now_ms - lastSeen_ms_ >= kTakeover_ms)) {
        following_ = true;
        ssrc_ = ssrc;
    }
    if (ssrc != ssrc_)
        return false;
    lastSeen_ms_ = now_ms;
    return true;
}

} // namespace vocalyn::voice
