#include "tests/e2e/TappedMediaTerm.h"

namespace vocalyn::test {

TappedMediaTerm::TappedMediaTerm(voice::GstMediaTermOptions options) : real_(std::move(options)) {
    connect(&real_, &ICCNMediaTerm::statusChanged, this, &ICCNMediaTerm::statusChanged);
}

void TappedMediaTerm::InitTerminal() {
    recorder_.InitTerminal();
    real_.InitTerminal();
    // Each call builds new pipelines; a repeated InitTerminal builds none.
    if (!initialised_) {
        tap_.Follow(real_);
        initialised_ms_ = VoiceTap::Now_ms();
    }
    initialised_ = true;
}

void TappedMediaTerm::ExitTerminal() {
    recorder_.ExitTerminal();
    real_.ExitTerminal();
    initialised_ = false;
    sending_ = false;
    receiving_ = false;
}

void TappedMediaTerm::SetupReceiver(std::int32_t codec, std::int32_t packetTime_ms,
                                    std::int32_t jitterBuffer_ms, std::int32_t reserved) {
    recorder_.SetupReceiver(codec, packetTime_ms, jitterBuffer_ms, reserved);
    real_.SetupReceiver(codec, packetTime_ms, jitterBuffer_ms, reserved);
}

void TappedMediaTerm::SetupSender(std::int32_t codec, std::int32_t packetTime_ms,
                                  std::int32_t bitrate_kbps, std::int32_t channels,
                                  std::int32_t fec, std::int32_t dtx) {
    recorder_.SetupSender(codec, packetTime_ms, bitrate_kbps, channels, fec, dtx);
    real_.SetupSender(codec, packetTime_ms, bitrate_kbps, channels, fec, dtx);
}

void TappedMediaTerm::SetSendTarget(const std::u16string& host, std::int32_t port) {
    recorder_.SetSendTarget(host, port);
    real_.SetSendTarget(host, port);
}

void TappedMediaTerm::SetReceivePort(std::int32_t port) {
    recorder_.SetReceivePort(port);
    real_.SetReceivePort(port);
}

void TappedMediaTerm::StartSending(std::int32_t source) {
    recorder_.StartSending(source);
    if (initialised_ && !sending_)
        startedSending_ms_ = VoiceTap::Now_ms();
    sending_ = initialised_;
    real_.StartSending(source);
}

void TappedMediaTerm::StopSending() {
    recorder_.StopSending();
    if (sending_)
        stoppedSending_ms_ = VoiceTap::Now_ms();
    sending_ = false;
    real_.StopSending();
}

void TappedMediaTerm::StartReceiving(std::int32_t output) {
    recorder_.StartReceiving(output);
    if (initialised_ && !receiving_)
        startedReceiving_ms_ = VoiceTap::Now_ms();
    receiving_ = initialised_;
    real_.StartReceiving(output);
}

void TappedMediaTerm::StopReceiving() {
    recorder_.StopReceiving();
    receiving_ = false;
    real_.StopReceiving();
}

void TappedMediaTerm::ReceiverControl(std::int32_t control, std::int32_t value) {
    recorder_.ReceiverControl(control, value);
    real_.ReceiverControl(control, value);
}

void TappedMediaTerm::SenderControl(std::int32_t control, std::int32_t value) {
    recorder_.SenderControl(control, value);
    real_.SenderControl(control, value);
}

} // namespace vocalyn::test
