#pragma once

#include <QString>

#include <functional>

namespace vocalyn::call {

// The platform's media service as the ring-tone player needs it: one device per open sound
// file, named by a number that is never 0. Results are 0 on success, otherwise a code that
// errorText explains. Called on the main thread only.
class MediaDevice {
public:
    using DeviceId = quint16;
    using Result = qint32;

    struct OpenResult {
        Result result = 0;
        DeviceId device = 0; // 0 unless result is 0
    };

    struct Status {
        Result result = 0;
        qint64 position_ms = 0; // equals length_ms once the medium has played to its end
        qint64 length_ms = 0;   // -1 while not yet known
    };

    virtual ~MediaDevice() = default;

    // Opens the sound file at path, the decoder chosen from the file itself, and returns when
    // it is ready to play from its start (or has failed; the wait is bounded).
    virtual OpenResult Open(const QString& path) = 0;

    // Where the device stands in its medium and how long the medium is.
    virtual Status StatusOf(DeviceId device) = 0;

    // Moves to the start of the medium and returns when the move is done.
    virtual Result SeekToStart(DeviceId device) = 0;

    // Starts playing from the current position to the end, once, and returns at once.
    virtual Result Play(DeviceId device) = 0;

    // Stops playing and returns when stopped; the device stays open at its position.
    virtual Result Stop(DeviceId device) = 0;

    // Stops and releases the device; its number may be given out again later.
    virtual Result Close(DeviceId device) = 0;

    // The text for a result code; empty when the service has none.
    virtual QString ErrorText(Result code) = 0;

    // Why the service cannot play any file on this machine (no sound output, a media framework
    // that did not start); empty when it can. Every open then fails with this text.
    virtual QString unavailableReason() const { return {}; }

    // Called on the main thread, from the event loop, when a device has played to the end of
    // its medium (not when it was stopped or closed). The handler must not throw.
    void setEndOfMediumHandler(std::function<void(DeviceId)> handler) {
        endOfMedium_ = std::move(handler);
    }

protected:
    void ReportEndOfMedium(DeviceId device) {
        // A copy, so that the handler may replace or clear itself.
        if (auto handler = endOfMedium_)
            handler(device);
    }

private:
    std::function<void(DeviceId)> endOfMedium_;
};

} // namespace vocalyn::call
