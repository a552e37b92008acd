#pragma once

#include "video/JpegCodec.h"

#include <QImage>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vocalyn::video {

// A VideoDatagram is exactly one whole JPEG file, from its SOI marker to its EOI marker, with
// nothing before or after it; its length is the datagram's length.

// The most a UDP datagram over IPv4 can carry.
inline constexpr std::size_t kMaxVideoDatagram = 65507;
// The quality every frame is tried at first.
inline constexpr int kVideoQuality = 90;

// Writes pictures as video datagrams. A picture whose JPEG at quality 90 is longer than one
// datagram is encoded again at lower qualities until it fits, so that it still travels whole.
// Consecutive frames are alike, so the search for a frame that does not fit at 90 starts where
// the previous one fitted, and climbs back one step when that one had room to spare.
class VideoDatagramWriter {
public:
    // The qualities tried after 90, best first; the last one is the lowest allowed.
    static constexpr std::array<int, 11> kFallbackQualities{85, 80, 75, 70, 65, 60,
                                                            55, 50, 40, 30, 20};

    struct Datagram {
        std::size_t size = 0; // 0: dropped, it does not fit even at the lowest quality
        int quality = 0;
        int attempts = 0;
    };

    // Encodes into `out`, never writing more than one datagram can carry.
    Datagram Write(JpegEncoder& encoder, const PictureView& picture, std::span<std::uint8_t> out);

private:
    std::size_t resume_ = 0; // index into kFallbackQualities
};

// The most pixels a received frame may have. At the writer's lowest quality a camera picture
// takes a quarter of a bit per pixel or more, so one datagram holds about 2.1 megapixels: the
// capture's largest common size, 1920 x 1080, in whole 16-row blocks.
inline constexpr std::size_t kMaxVideoPixels = std::size_t{1920} * 1088;

// What a received datagram may ask of the decoder: only a frame as the writer makes it, so that
// decoding one takes bounded time and memory whatever a sender puts in it.
inline constexpr JpegLimits kVideoDatagramLimits{.maxPixels = kMaxVideoPixels,
                                                 .maxScans = 1,
                                                 .maxMemory = std::size_t{12} << 20,
                                                 .baselineOnly = true};

// The picture a received datagram carries; null when it is not one valid JPEG file within the
// decoder's limits.
QImage ReadVideoDatagram(JpegDecoder& decoder, std::span<const std::uint8_t> datagram);

} // namespace vocalyn::video
