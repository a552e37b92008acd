#include "voice/TVOIPMedia.h"

#include "voice/TCCNMediaTerm.h"

namespace vocalyn::voice {

namespace {
// The values the program gives the terminal; ICCNMediaTerm.h says what they mean.
constexpr std::int32_t kOpus = 4;
constexpr std::int32_t kPacketTime_ms = 20;
constexpr std::int32_t kVolumeControl = 0;
constexpr std::int32_t kVolumePercent = 80;
constexpr std::int32_t kMicrophone = 0;
constexpr std::int32_t kSpeaker = 0;
} // namespace

TVOIPMedia::TVOIPMedia(TCCNMediaTerm& ccn) {
    SendChannel = ccn.DefaultInterface();
    ReceiveChannel = ccn.DefaultInterface();
    SendChannel->InitTerminal();
    ReceiveChannel->InitTerminal();
    Muted = false;
}

TVOIPMedia::~TVOIPMedia() {
    SendChannel->StopReceiving();
    SendChannel->StopSending();
    ReceiveChannel->StopReceiving();
    ReceiveChannel->StopSending();
    SendChannel->ExitTerminal();
    ReceiveChannel->ExitTerminal();
    SendChannel.reset();
    ReceiveChannel.reset();
    RemoteHost.clear();
}

void TVOIPMedia::Configure() {
    SendChannel->SetupSender(kOpus, kPacketTime_ms, 0, 1, 1, 0);
    SendChannel->SetSendTarget(RemoteHost.toStdU16String(), RemotePort);
    ReceiveChannel->SetupReceiver(kOpus, kPacketTime_ms, 0, 0);
    ReceiveChannel->SetReceivePort(LocalPort);
}

void TVOIPMedia::Start() {
    Configure();
    ReceiveChannel->StartReceiving(kSpeaker);
    SendChannel->StartSending(kMicrophone);
    ReceiveChannel->ReceiverControl(kVolumeControl, kVolumePercent);
    SendChannel->SenderControl(kVolumeControl, kVolumePercent);
}

void TVOIPMedia::Stop() {
    ReceiveChannel->StopReceiving();
    SendChannel->StopSending();
}

void TVOIPMedia::ToggleMute() {
    if (!Muted) {
        SendChannel->StopSending();
        Muted = true;
    } else {
        Configure();
        SendChannel->StartSending(kMicrophone);
        Muted = false;
    }
}

} // namespace vocalyn::voice
