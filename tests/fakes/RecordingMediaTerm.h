#pragma once

#include "voice/ICCNMediaTerm.h"

#include <QStringList>

namespace vocalyn::fakes {

// A media terminal that only records every call, in order, as text such as
// "SetupSender(4, 20, 0, 1, 1, 0)" or "SetSendTarget(peer.local, 8500)".
class RecordingMediaTerm final : public voice::ICCNMediaTerm {
    Q_OBJECT

public:
    QStringList calls;

    // Sets the status text and signals it, as a terminal does when a device fails.
    void setStatus(const QString& text);

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
    QString statusText() const override { return status_; }

private:
    void Record(const char* operation, std::initializer_list<QString> arguments = {});

    QString status_;
};

} // namespace vocalyn::fakes
