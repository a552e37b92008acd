#include "video/transport/VideoDatagram.h"

#include <algorithm>
#include <cstring>

namespace vocalyn::video {

static_assert(QualityLadder::kQualities.front() == kVideoQuality);

VideoDatagramWriter::VideoDatagramWriter() : ladder_(kMaxVideoDatagram) {}

VideoDatagramWriter::Datagram VideoDatagramWriter::Write(JpegEncoder& encoder,
                                                         const PictureView& picture,
                                                         std::span<std::uint8_t> out) {
    const std::size_t carried = std::min(out.size(), kMaxVideoDatagram);
    const std::size_t limit = std::min(carried, std::max<std::size_t>(budget_, 1));
    if (limit != limit_) {
        limit_ = limit;
        ladder_.SetLimit(limit);
    }
    // Files are encoded whole, beyond the limit, so that a frame too long tells by how much.
    // With room for two, a try goes where the best file so far is not, so that a better step
    // that fails costs no encode to get the file back.
    const bool twoHalves = out.size() >= 2 * limit;
    const std::size_t half = twoHalves ? out.size() / 2 : out.size();
    const auto region = [&](int at) { return out.subspan(at == 1 ? half : 0, half); };
    Datagram datagram;
    int bestAt = -1;   // where the file of the best step that fits lies
    int lowestAt = -1; // where the lowest step's file lies, when it is over the budget only
    std::size_t lowestSize = 0;
    constexpr int kLowest = QualityLadder::kSteps - 1;
    ladder_.BeginFrame();
    for (int step = ladder_.NextStep(); step != QualityLadder::kNone; step = ladder_.NextStep()) {
        const int at = twoHalves && bestAt == 0 ? 1 : 0;
        const JpegEncoder::Result result =
            encoder.Encode(picture, QualityLadder::kQualities[std::size_t(step)], region(at));
        ++datagram.attempts;
        if (result.size == 0 && !result.tooLong)
            return {0, 0, datagram.attempts}; // refused: the same at any quality
        ladder_.Measured(step, result.tooLong ? half : result.size, !result.tooLong);
        if (ladder_.FittingStep() == step) {
            bestAt = at;
            datagram.size = result.size;
        } else if (at == bestAt) {
            bestAt = -1; // the best file was written over
        }
        if (at == lowestAt)
            lowestAt = -1;
        if (step == kLowest && !result.tooLong && result.size <= carried) {
            lowestAt = at;
            lowestSize = result.size;
        }
    }
    const int best = ladder_.FittingStep();
    if (best == QualityLadder::kNone) {
        if (limit == carried)
            return {0, 0, datagram.attempts};
        // Over the budget even at the lowest quality, but within one datagram.
        if (lowestAt < 0) {
            const JpegEncoder::Result result =
                encoder.Encode(picture, QualityLadder::kQualities[kLowest], out);
            ++datagram.attempts;
            if (result.size == 0 || result.size > carried)
                return {0, 0, datagram.attempts};
            lowestAt = 0;
            lowestSize = result.size;
        }
        if (lowestAt == 1)
            std::memmove(out.data(), region(1).data(), lowestSize);
        return {lowestSize, QualityLadder::kQualities[kLowest], datagram.attempts};
    }
    datagram.quality = QualityLadder::kQualities[std::size_t(best)];
    if (bestAt < 0) {
        const JpegEncoder::Result result = encoder.Encode(picture, datagram.quality, out);
        ++datagram.attempts;
        datagram.size = result.size <= limit ? result.size : 0;
        if (datagram.size == 0)
            datagram.quality = 0;
    } else if (bestAt == 1) {
        std::memmove(out.data(), region(1).data(), datagram.size);
    }
    return datagram;
}

QImage ReadVideoDatagram(JpegDecoder& decoder, std::span<const std::uint8_t> datagram) {
    if (datagram.size() > kMaxVideoDatagram)
        return {};
    return decoder.Decode(datagram);
}

} // namespace vocalyn::video
