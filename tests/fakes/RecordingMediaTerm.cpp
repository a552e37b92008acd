#include "tests/fakes/RecordingMediaTerm.h"

namespace vocalyn::fakes {

namespace {
QString N(std::int32_t value) {
    return QString::number(value);
}
} // namespace

void RecordingMediaTerm::Record(const char* operation, std::initializer_list<QString> arguments) {
    calls << QStringLiteral("%1(%2)").arg(QLatin1String(operation),
                                          QStringList(arguments).join(QStringLiteral(", ")));
}

void RecordingMediaTerm::setStatus(const QString& text) {
    status_ = text;
    emit statusChanged(text);
}

void RecordingMediaTerm::InitTerminal() {
    Record("InitTerminal");
}
void RecordingMediaTerm::ExitTerminal() {
    Record("ExitTerminal");
}

void RecordingMediaTerm::SetupReceiver(std::int32_t codec, std::int32_t packetTime_ms,
                                       std::int32_t jitterBuffer_ms, std::int32_t reserved) {
    Record("SetupReceiver", {N(codec), N(packetTime_ms), N(jitterBuffer_ms), N(reserved)});
}

void RecordingMediaTerm::SetupSender(std::int32_t codec, std::int32_t packetTime_ms,
                                     std::int32_t bitrate_kbps, std::int32_t channels,
                                     std::int32_t fec, std::int32_t dtx) {
    Record("SetupSender",
           {N(codec), N(packetTime_ms), N(bitrate_kbps), N(channels), N(fec), N(dtx)});
}

void RecordingMediaTerm::SetSendTarget(const std::u16string& host, std::int32_t port) {
    Record("SetSendTarget", {QString::fromStdU16String(host), N(port)});
}

void RecordingMediaTerm::SetReceivePort(std::int32_t port) {
    Record("SetReceivePort", {N(port)});
}
void RecordingMediaTerm::StartSending(std::int32_t source) {
    Record("StartSending", {N(source)});
}
void RecordingMediaTerm::StopSending() {
    Record("StopSending");
}
void RecordingMediaTerm::StartReceiving(std::int32_t output) {
    Record("StartReceiving", {N(output)});
}
void RecordingMediaTerm::StopReceiving() {
    Record("StopReceiving");
}

void RecordingMediaTerm::ReceiverControl(std::int32_t control, std::int32_t value) {
    Record("ReceiverControl", {N(control), N(value)});
}

void RecordingMediaTerm::SenderControl(std::int32_t control, std::int32_t value) {
    Record("SenderControl", {N(control), N(value)});
}

} // namespace vocalyn::fakes
