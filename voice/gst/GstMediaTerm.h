#pragma once

#include "voice/ICCNMediaTerm.h"
#include "voice/TCCNMediaTerm.h"

#include <memory>

// Declared as GStreamer does, so this header needs none of GLib (whose
// headers clash with Qt's "signals" keyword).
typedef struct _GstElement GstElement;

namespace vocalyn::voice {

struct GstMediaTermOptions {
    // gst-launch descriptions of the capture and playback elements; tests
    // give "audiotestsrc freq=1000 is-live=true" and an appsink or fakesink.
    QString microphone = QStringLiteral("autoaudiosrc");
    QString speaker = QStringLiteral("autoaudiosink");
    // Echo cancellation, noise suppression and gain control (webrtcdsp, with
    // webrtcechoprobe listening to what the speaker plays).
    bool voiceProcessing = true;
    // Nonzero: used instead of the ports the caller gives, so that tests can
    // move the terminal off the well-known port.
    int localPort = 0;
    int remotePort = 0;
    // The jitter buffer's least latency when SetupReceiver leaves it to us (0).
    // Playback lags the arrival of a packet by this plus the speaker's own
    // deadline (2 ms). On a LAN packets come in order, a millisecond or two
    // apart from their schedule, so a short wait keeps the call snappy; on a
    // line whose arrival times wander (Wi-Fi) the wait grows with them. A lost
    // packet is concealed by Opus, or rebuilt from the next one's FEC while
    // packets are being lost.
    int jitterBuffer_ms = 5;
};

// The media terminal on GStreamer: Opus in RTP over UDP, one pipeline per
// direction, both on one socket (symmetric RTP). ICCNMediaTerm.h gives the
// meaning of every argument. Device and network failures never stop a call;
// they show in statusText(). State changes run on a worker thread, so no
// operation waits for a device.
class GstMediaTerm final : public ICCNMediaTerm {
    Q_OBJECT

public:
    // Throws vocalyn::Error when GStreamer cannot be initialised.
    explicit GstMediaTerm(GstMediaTermOptions options = {});
    ~GstMediaTerm() override;

    void InitTerminal() override;
    void ExitTerminal() override;
    void SetupReceiver(std::int32_t codec, std::int32_t packetTime_ms, std::int32_t jitterBuffer_ms,
                       std::int32_t reserved) override;
    void SetupSender(std::int32_t codec, std::int32_t packetTime_ms, std::int32_t bitrate_kbps,
                     std::int32_t channels, std::int32_t fec, std::int32_t dtx) override;
    void SetSendTarget(const std::u16string& host, std::int32_t port) override;
    void SetReceivePort(std::int32_t port) override;
    void StartSending(std::int32_t source) override;
    void StopSending() override;
    void StartReceiving(std::int32_t output) override;
    void StopReceiving() override;
    void ReceiverControl(std::int32_t control, std::int32_t value) override;
    void SenderControl(std::int32_t control, std::int32_t value) override;
    QString statusText() const override;
    std::optional<double> receivedLoss() const override;

    // The bins built from the microphone and speaker descriptions, for tests
    // that listen to or feed them: a new reference (gst_object_unref it), or
    // null while not initialised or not built.
    GstElement* MicrophoneElement() const;
    GstElement* SpeakerElement() const;
    // Whether the next InitTerminal finds its pipelines built: they are built ahead, off the main
    // thread, when the terminal is made and after each ExitTerminal, and open no device.
    bool NextPipelinesReady() const;

private:
    struct State;
    std::unique_ptr<State> d_;
};

// The factory the program gives to its TCCNMediaTerm.
TCCNMediaTerm::Factory GstMediaTermFactory(GstMediaTermOptions options = {});

} // namespace vocalyn::voice
