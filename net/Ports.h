#pragma once

#include <cstddef>
#include <cstdint>

// The well-known ports two copies talk on, and the socket buffers of the picture stream. Every
// other place takes them from here.
namespace vocalyn::net {

inline constexpr std::uint16_t kSignallingPort = 6767; // call requests, answers, refusals
inline constexpr std::uint16_t kVideoPort = 8800;      // one JPEG picture per datagram
inline constexpr std::uint16_t kVoicePort = 8500;      // RTP, both ways from the same port
// The picture stream's socket buffers, and the encoder's scratch for one picture.
inline constexpr std::size_t kVideoBufferSize = 524288;

} // namespace vocalyn::net
