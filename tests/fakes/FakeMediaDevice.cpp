#include "tests/fakes/FakeMediaDevice.h"

namespace vocalyn::fakes {

void FakeMediaDevice::ReachEnd(DeviceId device) {
    Device& played = devices_[device];
    played.position_ms = length_ms;
    played.playing = false;
    ReportEndOfMedium(device);
}

void FakeMediaDevice::Advance(DeviceId device, qint64 position_ms) {
    devices_[device].position_ms = position_ms;
}

bool FakeMediaDevice::isPlaying(DeviceId device) const {
    return devices_.value(device).playing;
}

qint64 FakeMediaDevice::position(DeviceId device) const {
    return devices_.value(device).position_ms;
}

QString FakeMediaDevice::path(DeviceId device) const {
    return devices_.value(device).path;
}

call::MediaDevice::OpenResult FakeMediaDevice::Open(const QString& path) {
    operations << QStringLiteral("open ") + path;
    if (const Result failure = openFailures.value(path))
        return {failure, 0};
    devices_.insert(++lastId_, Device{path});
    return {0, lastId_};
}

call::MediaDevice::Status FakeMediaDevice::StatusOf(DeviceId device) {
    const Result result = Record(QStringLiteral("status"), device, statusResult);
    if (result != 0)
        return {result, 0, 0};
    return {0, devices_[device].position_ms, length_ms};
}

call::MediaDevice::Result FakeMediaDevice::SeekToStart(DeviceId device) {
    const Result result = Record(QStringLiteral("seekToStart"), device, seekResult);
    if (result == 0)
        devices_[device].position_ms = 0;
    return result;
}

call::MediaDevice::Result FakeMediaDevice::Play(DeviceId device) {
    const Result result = Record(QStringLiteral("play"), device, playResult);
    if (result == 0)
        devices_[device].playing = true;
    return result;
}

call::MediaDevice::Result FakeMediaDevice::Stop(DeviceId device) {
    const Result result = Record(QStringLiteral("stop"), device, stopResult);
    if (result == 0)
        devices_[device].playing = false;
    return result;
}

call::MediaDevice::Result FakeMediaDevice::Close(DeviceId device) {
    const Result result = Record(QStringLiteral("close"), device, closeResult);
    if (result == 0)
        devices_.remove(device);
    return result;
}

QString FakeMediaDevice::ErrorText(Result code) {
    operations << QStringLiteral("errorText %1").arg(code);
    return errorTexts.value(code);
}

call::MediaDevice::Result FakeMediaDevice::Record(const QString& operation, DeviceId device,
                                                  Result scripted) {
    operations << operation + QLatin1Char(' ') + QString::number(device);
    return devices_.contains(device) ? scripted : kNotOpen;
}

} // namespace vocalyn::fakes
