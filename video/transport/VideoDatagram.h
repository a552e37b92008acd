#pragma once

#include "video/transport/JpegCodec.h"
#include "video/transport/QualityLadder.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <span>

namespace vocalyn::video {

// A VideoDatagram is exactly one whole JPEG file, from its SOI marker to its EOI marker, with
// nothing before or after it; its length is the datagram's length.

// The most a UDP datagram over IPv4 can carry.
inline constexpr std::size_t kMaxVideoDatagram = 65507;
// The best quality, at which every frame goes that fits one datagram at it.
inline constexpr int kVideoQuality = 90;

// Writes pictures as video datagrams. A picture whose JPEG at quality 90 is longer than one
// datagram, or than the byte budget a lossy line leaves, goes at the best lower quality of
// QualityLadder at which it fits, so that it still travels whole. The ladder predicts that quality
// from the sizes of the frames before, so that a frame mostly takes one encode.
class VideoDatagramWriter {
public:
    VideoDatagramWriter();

    struct Datagram {
        std::size_t size = 0; // 0: dropped, it does not fit even at the lowest quality
        int quality = 0;
        int attempts = 0;
    };

    // Encodes into `out`, and leaves there a file no longer than one datagram can carry. The
    // rest of `out` is room for the tries: twice the datagram or more saves encodes.
    Datagram Write(JpegEncoder& encoder, const PictureView& picture, std::span<std::uint8_t> out);

    // The most bytes a picture should take from the next one on (see LineBudget.h). A picture
    // that is longer even at the lowest quality still goes at that quality when one datagram
    // carries it: a coarse picture is better than none.
    void SetBudget(std::size_t bytes) { budget_ = bytes; }

private:
    std::size_t budget_ = kMaxVideoDatagram;
    std::size_t limit_ = kMaxVideoDatagram;
    QualityLadder ladder_;
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
