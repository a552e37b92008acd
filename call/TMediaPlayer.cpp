#include "call/TMediaPlayer.h"

namespace vocalyn::call {

TMediaPlayer::TMediaPlayer(MediaDevice& device) : device_(device) {
    device_.setEndOfMediumHandler([this](MediaDevice::DeviceId ended) {
        if (ended == deviceId_ && OnNotify)
            OnNotify();
    });
}

TMediaPlayer::~TMediaPlayer() {
    device_.setEndOfMediumHandler({});
    if (deviceId_ != 0)
        device_.Close(deviceId_);
}

void TMediaPlayer::Open() {
    if (deviceId_ != 0)
        Close();

    const MediaDevice::OpenResult opening = device_.Open(FileName);
    lastResult_ = opening.result;
    if (opening.result != 0) {
        const QString text = device_.ErrorText(opening.result);
        throw EMCIDeviceError(text.isEmpty() ? QStringLiteral("Unknown error code") : text);
    }
    opened_ = true;
    deviceId_ = opening.device;
}

void TMediaPlayer::Play() {
    RequireOpen();

    // A medium that has played to its end would otherwise stay silent.
    const MediaDevice::Status status = device_.StatusOf(deviceId_);
    lastResult_ = status.result;
    if (status.result == 0 && status.position_ms == status.length_ms)
        lastResult_ = device_.SeekToStart(deviceId_);

    lastResult_ = device_.Play(deviceId_);
}

void TMediaPlayer::Stop() {
    RequireOpen();
    lastResult_ = device_.Stop(deviceId_);
}

void TMediaPlayer::Close() {
    if (deviceId_ == 0)
        return;
    lastResult_ = device_.Close(deviceId_);
    if (lastResult_ == 0) {
        opened_ = false;
        deviceId_ = 0;
    }
}

void TMediaPlayer::RequireOpen() const {
    if (!opened_)
        throw EMCIDeviceError(QStringLiteral("No MCI device open"));
}

} // namespace vocalyn::call
