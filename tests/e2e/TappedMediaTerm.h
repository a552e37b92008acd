#pragma once

#include "tests/e2e/VoiceTap.h"
#include "tests/fakes/RecordingMediaTerm.h"
#include "voice/gst/GstMediaTerm.h"

namespace vocalyn::test {

// The real GStreamer terminal, with test sources and sinks as its devices, that also records
// every call (as the console reports them) and lets a VoiceTap listen to each call's pipelines.
class TappedMediaTerm final : public voice::ICCNMediaTerm {
    Q_OBJECT

public:
    explicit TappedMediaTerm(voice::GstMediaTermOptions options);

    fakes::RecordingMediaTerm& recorder() { return recorder_; }
    const VoiceTap& tap() const { return tap_; }
    // When the sending direction was last started and stopped (CLOCK_MONOTONIC ms; 0: never).
    double startedSending_ms() const { return startedSending_ms_; }
    double stoppedSending_ms() const { return stoppedSending_ms_; }
    // When the last InitTerminal that built pipelines returned, and when receiving last started.
    double initialised_ms() const { return initialised_ms_; }
    double startedReceiving_ms() const { return startedReceiving_ms_; }

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
    QString statusText() const override { return real_.statusText(); }

private:
    fakes::RecordingMediaTerm recorder_;
    VoiceTap tap_; // outlives the terminal's pipelines, which report to it
    voice::GstMediaTerm real_;
    bool initialised_ = false;
    bool sending_ = false;
    double startedSending_ms_ = 0;
    double stoppedSending_ms_ = 0;
    double initialised_ms_ = 0;
    double startedReceiving_ms_ = 0;
    bool receiving_ = false;
};

} // namespace vocalyn::test
