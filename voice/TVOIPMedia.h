#pragma once

#include "voice/ICCNMediaTerm.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace vocalyn::voice {

class TCCNMediaTerm;

// The voice link of one call. It has no audio logic of its own: it drives the
// media terminal in fixed orders with fixed values. Created when a call
// begins, destroyed when the user ends it; a stopped link is never restarted.
class TVOIPMedia {
public:
    // Takes two references to the terminal of `ccn` (connecting it on first
    // use) and initialises it. Throws vocalyn::Error when the terminal cannot
    // be had; then no link exists.
    explicit TVOIPMedia(TCCNMediaTerm& ccn);
    // Stops both directions, shuts the terminal down and gives up the references.
    ~TVOIPMedia();

    TVOIPMedia(const TVOIPMedia&) = delete;
    TVOIPMedia& operator=(const TVOIPMedia&) = delete;

    void SetRemotePort(std::int32_t port) { RemotePort = port; }
    void SetLocalPort(std::int32_t port) { LocalPort = port; }
    // A host name or dotted address, passed on as it is: the terminal resolves it.
    void SetRemoteHost(const QString& host) { RemoteHost = host; }

    // Sets up both directions from the stored values.
    void Configure();
    // Configures, then starts receiving before sending, then sets both volumes.
    void Start();
    void Stop();
    // Stops sending, or configures again and resumes it; receiving goes on.
    void ToggleMute();

    bool IsMuted() const { return Muted; }
    // See ICCNMediaTerm::receivedLoss.
    std::optional<double> ReceivedLoss() const {
        return ReceiveChannel ? ReceiveChannel->receivedLoss() : std::nullopt;
    }

private:
    std::shared_ptr<ICCNMediaTerm> SendChannel;
    std::shared_ptr<ICCNMediaTerm> ReceiveChannel;
    std::int32_t RemotePort = 0;
    std::int32_t LocalPort = 0;
    QString RemoteHost;
    bool Muted = false;
};

} // namespace vocalyn::voice
