#pragma once

#include "call/MediaDevice.h"

#include <QHash>
#include <QString>
#include <QTimer>

#include <map>
#include <memory>

// GStreamer's message type, declared here so that this header needs no GStreamer header.
struct _GstMessage;

namespace vocalyn::call {

// Media devices on GStreamer: each open file is a playbin sending its audio to a sink made
// from a launch description. Bus messages are collected on the main thread by a timer that runs
// while a device plays, and before every operation, so no particular event dispatcher is needed.
class GstMediaDevice final : public MediaDevice {
public:
    // Result codes of the device's own; GStreamer errors are 1000 * domain + code, with the
    // domains core 1, library 2, resource 3, stream 4 and any other 9.
    enum : Result {
        InvalidDevice = 1,
        NoFreeDevice = 2,
        MissingElement = 3,
        OpenTimedOut = 4,
        StateChangeRefused = 5, // the back end failed without saying why: no text
        SeekRefused = 6,
        NoSound = 7,
        Unavailable = 8, // GStreamer did not start, or the sink or playbin is missing
    };

    // audioSink: a launch description such as "autoaudiosink" or "fakesink sync=true".
    // Never throws: when GStreamer cannot start or cannot make the sink, the device is made
    // anyway, says why in unavailableReason() and refuses every file with that text, so that a
    // desktop without sound output still gets the rest of the program.
    explicit GstMediaDevice(QString audioSink = QStringLiteral("autoaudiosink"));
    ~GstMediaDevice() override;

    GstMediaDevice(const GstMediaDevice&) = delete;
    GstMediaDevice& operator=(const GstMediaDevice&) = delete;

    OpenResult Open(const QString& path) override;
    Status StatusOf(DeviceId device) override;
    Result SeekToStart(DeviceId device) override;
    Result Play(DeviceId device) override;
    Result Stop(DeviceId device) override;
    Result Close(DeviceId device) override;
    QString ErrorText(Result code) override;
    QString unavailableReason() const override { return unavailable_; }

private:
    struct Stream;

    // Why nothing can play here; empty when GStreamer, the sink and playbin are all there.
    QString Probe() const;
    Stream* Find(DeviceId device) const;
    DeviceId FreeId();
    void CollectMessages(Stream& stream);
    void Poll();
    Result Failure(Result code, const QString& text);
    Result FailureFromBus(Stream& stream, Result fallback);
    Result FailureFromMessage(_GstMessage* error);

    QString audioSink_;
    QString unavailable_;
    std::map<DeviceId, std::unique_ptr<Stream>> streams_;
    DeviceId lastId_ = 0;
    QHash<Result, QString> texts_; // the latest text seen for each code
    QTimer poll_;
};

} // namespace vocalyn::call
