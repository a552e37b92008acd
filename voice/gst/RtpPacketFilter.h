#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vocalyn::voice {

// The dynamic RTP payload type of our Opus stream (RFC 7587 leaves it to the session).
constexpr int kOpusPayloadType = 96;

// True when `packet` is a complete RTP packet (RFC 3550, section 5.1: version
// 2, and the CSRC list, header extension and padding it announces all fit)
// carrying `payloadType`. Never reads outside the span.
bool IsWellFormedRtp(std::span<const std::uint8_t> packet, int payloadType);

// An IPv4 address as a number, first byte highest (127.0.0.1 is 0x7F000001);
// 0 stands for "none".
using IPv4 = std::uint32_t;

// The receiving rule: play only well-formed Opus RTP that comes from the
// peer's address. With no peer known nothing is played.
bool ShouldPlay(std::span<const std::uint8_t> packet, IPv4 sender, IPv4 peer);

// Keeps to one RTP stream (one SSRC) of the peer at a time. A packet forged
// with the peer's address but another SSRC would otherwise reach the jitter
// buffer as a jump of thousands of packets, which it conceals for seconds. A
// new stream takes over once the followed one has been silent for
// `kTakeover_ms` (the peer starts a new stream each time it unmutes). Not
// thread-safe: one per receiving thread.
class StreamLatch {
public:
    static constexpr std::int64_t kTakeover_ms = 200;

    // True when `packet`, which ShouldPlay accepted, belongs to the followed
    // stream of `peer` (or starts following it). `now_ms` is a steady clock.
    bool Follows(std::span<const std::uint8_t> packet, IPv4 peer, std::int64_t now_ms);

private:
    IPv4 peer_ = 0;
    bool following_ = false;
    std::uint32_t ssrc_ = 0;
    std::int64_t lastSeen_ms_ = 0;
};

} // namespace vocalyn::voice
