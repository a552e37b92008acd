// The main window's video handlers: each camera frame to the peer, each received frame into the
// big picture, and the snapshot.
#include "app/TfrmMain.h"

#include "base/Error.h"
#include "video/conversion/FrameBuffer.h"
#include "video/transport/VideoTransport.h"
#include "widgets/ErrorReport.h"
#include "widgets/FlatButton.h"
#include "widgets/MessageBoxes.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>

#include <cstdint>
#include <span>

namespace vocalyn {

namespace {

const QString kInvalidVideoFormat =
    QStringLiteral("Invalid Video Format Selected. Please Select RGB.");

std::span<const std::uint8_t> BytesOf(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()),
            static_cast<std::size_t>(data.size())};
}

} // namespace

void TfrmMain::ConnectVideoHandlers() {
    videoTransport = std::make_unique<video::VideoTransport>();
    connect(btnSnapShot, &QAbstractButton::clicked, this, Guarded([this] { btnSnapshotClick(); }));
    // Datagram handlers may throw: the listener drops that datagram and goes on.
    UDPServer1.OnUDPRead = [this](net::TIdUDPServer& sender, const QByteArray& data,
                                  net::TIdSocketHandle& binding) {
        UDPServer1UDPRead(sender, data, binding);
    };
    videoCap->OnPreviewFrame =
        Guarded([this](const video::CameraFrame& frame) { FrameHandler(frame); });
    videoCap->OnStreamFrame =
        Guarded([this](const video::CameraFrame& frame) { StreamHandler(frame); });
}

void TfrmMain::StartVideo() {
    VideoStarted = false;
    const bool camera = videoCap->StartVideo();
    // Without a camera the peer's picture can still be shown.
    try {
        UDPServer1.setActive(true);
    } catch (const Error& error) {
        // The endpoint's own words point at the port, not at a camera.
        ShowErrorBox(this, error.message());
        return;
    } catch (...) {
        ShowErrorBox(this, video::VideoCap::kWebCamNotFound);
        return;
    }
    if (!camera)
        return;
    PeerHostLearned = false;
    VideoStarted = true;
}

bool TfrmMain::WarnUnreadableFormat() {
    const video::FrameBuffer& frames = videoCap->frames();
    if (frames.format().readable() || !videoTransport->ShouldWarnFormat(frames.DriverFormat()))
        return false;
    {
        const auto closed = qScopeGuard([this] { videoTransport->WarningClosed(); });
        ShowWarningBox(this, kInvalidVideoFormat);
    }
    // Frames went on inside the box, and the driver may have taken this one's bytes back: only
    // an unreadable format's picture, which reads none of them, may still be made of it.
    return frames.format().readable();
}

void TfrmMain::FrameHandler(const video::CameraFrame& frame) {
    const bool stale = WarnUnreadableFormat();
    videoTransport->NoteSendingVideo(SendingVideo);
    if (!SendingVideo || stale)
        return;
    // Converted only now: outside a call nothing uses the picture.
    const video::PictureView picture = videoCap->PrepareFrame(frame);
    if (picture.empty())
        return;
    // The voice sees the loss on the line best; the pictures sent follow it.
    videoTransport->NoteLineLoss(VoiceLink ? VoiceLink->ReceivedLoss() : std::nullopt);
    // Every frame of a failing call fails the same way: the user hears about it once.
    if (const std::optional<QString> error = videoTransport->SendFrame(UDPClient1, picture))
        ShowErrorReport(*error);
}

// Registered with the capture window, whose services here never stream.
void TfrmMain::StreamHandler(const video::CameraFrame& frame) {
    if (WarnUnreadableFormat())
        return;
    const video::PictureView picture = videoCap->PrepareFrame(frame);
    if (picture.empty())
        return;
    QImage shown = videoTransport->RoundTrip(picture, 100);
    if (!shown.isNull())
        Image1->setPixmap(QPixmap::fromImage(std::move(shown)));
}

void TfrmMain::UDPServer1UDPRead(net::TIdUDPServer&, const QByteArray& AData,
                                 net::TIdSocketHandle& ABinding) {
    if (!PeerHostLearned) {
        edtHostName->setText(ABinding.SenderIP);
        PeerHostLearned = true;
    }
    // Not a frame, or no time left for one: the picture keeps the last good frame.
    videoTransport->ReceiveDatagram(BytesOf(AData), [this](QImage&& picture) {
        Image1->setPixmap(QPixmap::fromImage(std::move(picture)));
    });
}

void TfrmMain::btnSnapshotClick() {
    QGuiApplication::clipboard()->setImage(Image1->pixmap().toImage());
}

} // namespace vocalyn
