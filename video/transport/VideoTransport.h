#pragma once

#include "net/Ports.h"
#include "video/transport/DecodeBudget.h"
#include "video/transport/JpegCodec.h"
#include "video/transport/LineBudget.h"
#include "video/transport/VideoDatagram.h"

#include <QByteArray>
#include <QImage>
#include <QSet>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace vocalyn::net {
class TIdUDPClient;
}

namespace vocalyn::video {

// The per-frame path of the video between a camera frame's picture and the network: the JPEG
// written straight into SendBuffer, the datagram sent, and the decoding of
// received datagrams. It also remembers which failures were already reported, so that a
// failure repeated by every frame is shown once. Everything runs on the main thread.
class VideoTransport {
public:
    static constexpr std::size_t kSendBufferSize = net::kVideoBufferSize;

    // `clock` is the decoding budget's (the steady clock when empty).
    explicit VideoTransport(DecodeBudget::Clock clock = {});

    // True the first time a driver format's frames cannot be read, and never while that
    // warning is still open; call WarningClosed when it closes.
    bool ShouldWarnFormat(const QByteArray& driverFormat);
    void WarningClosed() { warningOpen_ = false; }

    // Tells whether frames are being sent now; a new call re-arms the send error report.
    void NoteSendingVideo(bool sending);
    // A frame's picture as a video datagram, written into SendBuffer; empty when it does not
    // fit one datagram even at the lowest quality.
    std::span<const std::uint8_t> EncodeFrame(const PictureView& picture);
    // Encodes a frame's picture into SendBuffer and sends it as one datagram to the client's
    // host. The error text to report, once per call; nothing when the frame went out, was
    // dropped because it did not fit, or failed again after the report.
    std::optional<QString> SendFrame(net::TIdUDPClient& client, const PictureView& picture);

    // Decodes a received datagram and hands its picture to `show`, both within the decoding
    // budget. A datagram that comes while the budget is spent, or that is not a frame as a copy
    // of this program writes it, is dropped: `show` is not called. True when it was shown.
    bool ReceiveDatagram(std::span<const std::uint8_t> datagram,
                         const std::function<void(QImage&&)>& show);
    // The picture a received datagram carries, outside the budget; null when it is not a
    // frame as a copy of this program writes it.
    QImage ReadDatagram(std::span<const std::uint8_t> datagram);
    // A picture through a JPEG of the given quality, into a buffer of its own.
    QImage RoundTrip(const PictureView& picture, int quality);

    // The share of packets lost on the way from the peer as the voice measured it, nothing while
    // no voice comes; the way to the peer is taken to be alike. It sets the byte budget of the
    // pictures sent (LineBudget.h); without it, what the received pictures tell does. The voice's
    // figure is the sharper one: a busy peer that skips frames looks like loss in the pictures.
    void NoteLineLoss(std::optional<double> loss) { voiceLoss_ = loss; }
    // The loss figure the budget follows now.
    double LineLoss() const;

    // The JPEG file of the last frame sent.
    std::span<const std::uint8_t> lastDatagram() const { return {SendBuffer.get(), lastSize_}; }
    // The quality of the last frame encoded.
    int lastQuality() const { return lastQuality_; }
    std::uint64_t datagramsSent() const { return sent_; }
    // Received datagrams dropped because the decoding budget was spent.
    std::uint64_t datagramsOverBudget() const { return overBudget_; }
    DecodeBudget& decodeBudget() { return budget_; }

private:
    std::int64_t Now_us() const;

    // Holds the JPEG file being sent; allocated once.
    std::unique_ptr<std::uint8_t[]> SendBuffer;
    DecodeBudget::Clock clock_;
    PictureArrivals arrivals_;
    PictureBudget pictureBudget_;
    std::optional<double> voiceLoss_;
    JpegEncoder encoder_;
    JpegDecoder decoder_{kVideoDatagramLimits};
    JpegDecoder ownDecoder_; // for this side's own frames, which need no datagram's limits
    DecodeBudget budget_;
    VideoDatagramWriter writer_;
    QSet<QByteArray> warnedFormats_;
    bool warningOpen_ = false;
    bool sending_ = false;
    bool sendErrorReported_ = false;
    std::size_t lastSize_ = 0;
    int lastQuality_ = 0;
    std::uint64_t sent_ = 0;
    std::uint64_t overBudget_ = 0;
};

} // namespace vocalyn::video
