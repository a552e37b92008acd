#include "video/transport/VideoTransport.h"

#include "base/Error.h"
#include "net/TIdUDPClient.h"

#include <chrono>
#include <vector>

namespace vocalyn::video {

VideoTransport::VideoTransport(DecodeBudget::Clock clock)
    : SendBuffer(new std::uint8_t[kSendBufferSize]), clock_(clock), budget_(std::move(clock)) {}

std::int64_t VideoTransport::Now_us() const {
    const std::chrono::nanoseconds now =
        clock_ ? clock_() : std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(now).count();
}

double VideoTransport::LineLoss() const {
    return voiceLoss_ ? *voiceLoss_ : arrivals_.FragmentLoss(Now_us());
}

bool VideoTransport::ShouldWarnFormat(const QByteArray& driverFormat) {
    if (warningOpen_ || warnedFormats_.contains(driverFormat))
        return false;
    warnedFormats_.insert(driverFormat);
    warningOpen_ = true;
    return true;
}

void VideoTransport::NoteSendingVideo(bool sending) {
    if (sending && !sending_)
        sendErrorReported_ = false;
    sending_ = sending;
}

std::span<const std::uint8_t> VideoTransport::EncodeFrame(const PictureView& picture) {
    if (picture.empty())
        return {};
    writer_.SetBudget(pictureBudget_.Next(LineLoss()));
    const VideoDatagramWriter::Datagram datagram =
        writer_.Write(encoder_, picture, {SendBuffer.get(), kSendBufferSize});
    lastQuality_ = datagram.quality;
    return {SendBuffer.get(), datagram.size};
}

std::optional<QString> VideoTransport::SendFrame(net::TIdUDPClient& client,
                                                 const PictureView& picture) {
    const std::span<const std::uint8_t> datagram = EncodeFrame(picture);
    if (datagram.empty())
        return std::nullopt; // too long for one datagram even at the lowest quality
    try {
        client.SendBytes(reinterpret_cast<const char*>(datagram.data()),
                         static_cast<qsizetype>(datagram.size()));
    } catch (const Error& error) {
        if (sendErrorReported_)
            return std::nullopt;
        sendErrorReported_ = true;
        return error.message();
    }
    lastSize_ = datagram.size();
    ++sent_;
    return std::nullopt;
}

bool VideoTransport::ReceiveDatagram(std::span<const std::uint8_t> datagram,
                                     const std::function<void(QImage&&)>& show) {
    // A refusal costs the thread too, if little: under a flood it is most of what happens.
    const DecodeBudget::Meter meter(budget_);
    if (!budget_.Allows()) {
        ++overBudget_;
        return false;
    }
    QImage picture = ReadVideoDatagram(decoder_, datagram);
    if (picture.isNull())
        return false;
    arrivals_.Arrived(datagram.size(), Now_us());
    show(std::move(picture));
    return true;
}

QImage VideoTransport::ReadDatagram(std::span<const std::uint8_t> datagram) {
    return ReadVideoDatagram(decoder_, datagram);
}

QImage VideoTransport::RoundTrip(const PictureView& picture, int quality) {
    if (picture.empty())
        return {};
    // Room for any quality: a JPEG file is never much larger than its raw pixels.
    std::vector<std::uint8_t> file(std::size_t(picture.width) * picture.height * 4 + 65536);
    const JpegEncoder::Result result = encoder_.Encode(picture, quality, file);
    return ownDecoder_.Decode(std::span(file).first(result.size));
}

} // namespace vocalyn::video
