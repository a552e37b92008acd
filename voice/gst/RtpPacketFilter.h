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

} // namespace vocalyn::voice
