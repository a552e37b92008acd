// Feeds arbitrary bytes to the voice receiver's RTP filter, once as one datagram and once as a
// run of datagrams for the stream latch, and checks what the filter promises.
//
// Run of datagrams: each is [length byte][milliseconds since the previous one][length bytes].

#include "fuzz/FuzzCheck.h"
#include "voice/gst/RtpPacketFilter.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

using vocalyn::voice::IPv4;
using vocalyn::voice::IsWellFormedRtp;
using vocalyn::voice::kOpusPayloadType;
using vocalyn::voice::ShouldPlay;
using vocalyn::voice::StreamLatch;

namespace {

constexpr IPv4 kPeer = 0xC6120001;     // 198.18.0.1
constexpr IPv4 kStranger = 0xC6120003; // 198.18.0.3

std::uint32_t Ssrc(std::span<const std::uint8_t> packet) {
    return std::uint32_t(packet[8]) << 24 | std::uint32_t(packet[9]) << 16 |
           std::uint32_t(packet[10]) << 8 | packet[11];
}

void OneDatagram(std::span<const std::uint8_t> packet) {
    const bool wellFormed = IsWellFormedRtp(packet, kOpusPayloadType);
    // What a header needs at the least: 12 bytes, version 2, our payload type, its CSRCs.
    if (wellFormed) {
        CHECK(packet.size() >= 12 + 4 * std::size_t(packet[0] & 0x0F));
        CHECK(packet[0] >> 6 == 2);
        CHECK((packet[1] & 0x7F) == kOpusPayloadType);
    }
    CHECK(ShouldPlay(packet, kPeer, kPeer) == wellFormed);
    CHECK(!ShouldPlay(packet, kStranger, kPeer));
    CHECK(!ShouldPlay(packet, kPeer, 0));
}

void RunOfDatagrams(std::span<const std::uint8_t> data) {
    StreamLatch latch;
    std::int64_t now_ms = 0;
    bool followed = false;
    std::uint32_t followedSsrc = 0;
    std::int64_t followedAt_ms = 0;
    while (data.size() >= 2) {
        const std::size_t length = std::min<std::size_t>(data[0], data.size() - 2);
        now_ms += data[1];
        const std::span<const std::uint8_t> packet = data.subspan(2, length);
        data = data.subspan(2 + length);
        if (!latch.Follows(packet, kPeer, now_ms))
            continue;
        CHECK(packet.size() >= 12);
        // Another stream only while the one followed has been silent long enough.
        if (followed && Ssrc(packet) != followedSsrc)
            CHECK(now_ms - followedAt_ms >= StreamLatch::kTakeover_ms);
        followed = true;
        followedSsrc = Ssrc(packet);
        followedAt_ms = now_ms;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    OneDatagram(bytes);
    RunOfDatagrams(bytes);
    return 0;
}
