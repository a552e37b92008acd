#pragma once

#include "base/Error.h"
#include "call/MediaDevice.h"

#include <QString>

#include <functional>

namespace vocalyn::call {

// A failure of the ring-tone player, with the text meant for the user.
class EMCIDeviceError : public vocalyn::Error {
public:
    using vocalyn::Error::Error;
};

// Plays one sound file at a time on a media device, without a visible part. Rewinds on its own
// when asked to play a medium that has played to its end. Main thread only.
class TMediaPlayer {
public:
    // The device must outlive the player; the player takes over its end-of-medium handler.
    explicit TMediaPlayer(MediaDevice& device);
    ~TMediaPlayer();

    TMediaPlayer(const TMediaPlayer&) = delete;
    TMediaPlayer& operator=(const TMediaPlayer&) = delete;

    // The file the next Open opens. Setting it does nothing else.
    QString FileName;

    // Called when playback reaches the end of the medium; empty by default. Must not throw.
    std::function<void()> OnNotify;

    // Closes any open device, then opens FileName. Throws EMCIDeviceError with the device's
    // text for the failure ("Unknown error code" when it has none) and stays closed.
    void Open();

    // Plays from the current position to the end and returns at once; starts from the
    // beginning when the medium has already played to its end. A failure to start is only
    // kept in lastResult(). Throws EMCIDeviceError("No MCI device open") when closed.
    void Play();

    // Stops playing; the file stays open at its position. A failure is only kept in
    // lastResult(). Throws EMCIDeviceError("No MCI device open") when closed.
    void Stop();

    // Releases the device; does nothing when none is open. When the device refuses, the
    // failure is kept in lastResult() and the player counts as still open.
    void Close();

    MediaDevice::DeviceId deviceId() const { return deviceId_; }
    bool opened() const { return opened_; }
    MediaDevice::Result lastResult() const { return lastResult_; }

private:
    void RequireOpen() const;

    MediaDevice& device_;
    MediaDevice::DeviceId deviceId_ = 0;
    bool opened_ = false;
    MediaDevice::Result lastResult_ = 0;
};

} // namespace vocalyn::call
