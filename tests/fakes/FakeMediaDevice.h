#pragma once

#include "call/MediaDevice.h"

#include <QHash>
#include <QStringList>

namespace vocalyn::fakes {

// A media device that plays nothing: it keeps a position per device, records every operation in
// order and fails where told to.
class FakeMediaDevice final : public call::MediaDevice {
public:
    // Scripted results; 0 lets the operation succeed.
    QHash<QString, Result> openFailures; // by path
    Result statusResult = 0;
    Result seekResult = 0;
    Result playResult = 0;
    Result stopResult = 0;
    Result closeResult = 0;
    QHash<Result, QString> errorTexts; // codes without an entry have no text
    qint64 length_ms = 3000;           // of every medium

    // Every operation, in order: "open <path>", "status <id>", "seekToStart <id>", "play <id>",
    // "stop <id>", "close <id>", "errorText <code>".
    QStringList operations;

    // Plays the medium of an open device to its end and reports that.
    void ReachEnd(DeviceId device);
    // Moves an open device to a position, as playing would.
    void Advance(DeviceId device, qint64 position_ms);

    bool isOpen(DeviceId device) const { return devices_.contains(device); }
    bool isPlaying(DeviceId device) const;
    qint64 position(DeviceId device) const;
    QString path(DeviceId device) const;

    OpenResult Open(const QString& path) override;
    Status StatusOf(DeviceId device) override;
    Result SeekToStart(DeviceId device) override;
    Result Play(DeviceId device) override;
    Result Stop(DeviceId device) override;
    Result Close(DeviceId device) override;
    QString ErrorText(Result code) override;

    static constexpr Result kNotOpen = 263; // the result for a device number not given out

private:
    struct Device {
        QString path;
        qint64 position_ms = 0;
        bool playing = false;
    };

    // Records the operation; kNotOpen for an unknown device, else the scripted result.
    Result Record(const QString& operation, DeviceId device, Result scripted);

    QHash<DeviceId, Device> devices_;
    DeviceId lastId_ = 0;
};

} // namespace vocalyn::fakes
