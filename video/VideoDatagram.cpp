#include "video/VideoDatagram.h"

#include <algorithm>

namespace vocalyn::video {

VideoDatagramWriter::Datagram VideoDatagramWriter::Write(JpegEncoder& encoder,
                                                         const PictureView& picture,
                                                         std::span<std::uint8_t> out) {
    const std::span<std::uint8_t> room = out.first(std::min(out.size(), kMaxVideoDatagram));
    Datagram datagram;
    JpegEncoder::Result result = encoder.Encode(picture, kVideoQuality, room);
    ++datagram.attempts;
    if (result.size > 0) {
        datagram.size = result.size;
        datagram.quality = kVideoQuality;
        resume_ = 0; // the next frame that does not fit is likely just over
        return datagram;
    }
    if (!result.tooLong)
        return datagram; // a picture libjpeg refuses fails the same way at any quality
    for (std::size_t rung = resume_; rung < kFallbackQualities.size(); ++rung) {
        result = encoder.Encode(picture, kFallbackQualities[rung], room);
        ++datagram.attempts;
        if (result.size > 0) {
            const bool roomToSpare = result.size < room.size() / 4 * 3;
            resume_ = roomToSpare && rung > 0 ? rung - 1 : rung;
            datagram.size = result.size;
            datagram.quality = kFallbackQualities[rung];
            return datagram;
        }
        if (!result.tooLong)
            return datagram;
    }
    resume_ = kFallbackQualities.size() - 1;
    return datagram;
}

QImage ReadVideoDatagram(JpegDecoder& decoder, std::span<const std::uint8_t> datagram) {
    if (datagram.size() > kMaxVideoDatagram)
        return {};
    return decoder.Decode(datagram);
}

} // namespace vocalyn::video
