#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace vocalyn::voice {

// The streaming media terminal: captures the microphone, sends it to the peer,
// receives the peer's sound and plays it. The voice link holds it through
// reference-counted pointers (std::shared_ptr) and calls it only from the main
// thread. No operation returns a result or throws; a failure inside the
// terminal shows in statusText() and the call goes on without sound.
//
// Every operation may be repeated in the state it leads to: a second
// InitTerminal, StartSending or StopReceiving in a row changes nothing.
// Operations other than InitTerminal are ignored while the terminal is not
// initialised.
//
// The numeric arguments, as this program gives them:
//
//   codec          4 = Opus (RFC 7587) at 48 kHz, carried in RTP (RFC 3550)
//                  with the dynamic payload type 96. No other codec exists;
//                  any other value is refused (status text, settings kept).
//   packetTime_ms  audio per RTP packet: 10, 20, 40 or 60 ms. The program
//                  uses 20. Other values are refused.
//
//   SetupSender(codec, packetTime_ms, bitrate_kbps, channels, fec, dtx)
//     bitrate_kbps 0 = the terminal's default (64 kbit/s, at which Opus codes
//                  a clean line's voice in its cheaper CELT mode); else 6 to 510.
//     channels     1 = mono, 2 = stereo.
//     fec          1 = Opus in-band forward error correction while the line
//                  loses packets: from when the voice received from the
//                  peer shows 1 % loss until it shows 0.2 % (no word comes
//                  back from the peer, so its line is judged by this one).
//                  The encoder is then told to expect 10 % loss, so it
//                  really carries it. 0 = never.
//     dtx          0 = a packet every packetTime_ms; 1 = discontinuous
//                  transmission, almost nothing is sent during silence.
//     The program passes (4, 20, 0, 1, 1, 0): Opus, 20 ms, 64 kbit/s, mono,
//     FEC while losing, DTX off.
//
//   SetupReceiver(codec, packetTime_ms, jitterBuffer_ms, reserved)
//     packetTime_ms here is the packet length expected from the peer.
//     jitterBuffer_ms 0 = the terminal's default (5 ms in the GStreamer
//                  terminal, for a LAN); else 1 to 1000. The least wait:
//                  the GStreamer terminal waits longer while the arrival
//                  times wander, as long as keeps all but about one packet
//                  in a hundred in time, and comes back down when they
//                  settle. Packets later than the wait are declared lost
//                  and Opus conceals them. Rebuilding a lost packet from
//                  the next one's in-band FEC holds every packet back by
//                  one packet time (20 ms), so the GStreamer terminal does
//                  it only while packets are being lost.
//     reserved     0; other values are ignored.
//     The program passes (4, 20, 0, 0).
//
//   Setup values take effect at the next start of their direction, so a
//   direction that is running is never interrupted by being set up again.
//
//   SetSendTarget(host, port): host name or dotted IPv4 address; the terminal
//     resolves it (IPv4) without blocking and sends there as soon as it is
//     known. Only sound from that address is played.
//   SetReceivePort(port): local UDP port for receiving; the packets sent leave
//     from the same port (symmetric RTP), so the peer may answer to it.
//   StartSending(source): 0 = the microphone. Other values are refused.
//   StartReceiving(output): 0 = the speaker. Other values are refused.
//   ReceiverControl(control, value) / SenderControl(control, value):
//     control 0 = volume, value in percent (0 to 100, clamped) of playback
//     or capture respectively. Other controls are ignored. The program
//     passes (0, 80): 80 %.
class ICCNMediaTerm : public QObject {
    Q_OBJECT

public:
    ~ICCNMediaTerm() override = default;

    // Ready for a call: both directions stopped, default settings.
    virtual void InitTerminal() = 0;
    // Stops both directions and releases devices and the port until the
    // next InitTerminal.
    virtual void ExitTerminal() = 0;

    virtual void SetupReceiver(std::int32_t codec, std::int32_t packetTime_ms,
                               std::int32_t jitterBuffer_ms, std::int32_t reserved) = 0;
    virtual void SetupSender(std::int32_t codec, std::int32_t packetTime_ms,
                             std::int32_t bitrate_kbps, std::int32_t channels, std::int32_t fec,
                             std::int32_t dtx) = 0;
    virtual void SetSendTarget(const std::u16string& host, std::int32_t port) = 0;
    virtual void SetReceivePort(std::int32_t port) = 0;

    // Microphone sound is sent until StopSending; receiving is untouched.
    virtual void StartSending(std::int32_t source) = 0;
    virtual void StopSending() = 0;
    // Received sound is played until StopReceiving; sending is untouched.
    virtual void StartReceiving(std::int32_t output) = 0;
    virtual void StopReceiving() = 0;

    virtual void ReceiverControl(std::int32_t control, std::int32_t value) = 0;
    virtual void SenderControl(std::int32_t control, std::int32_t value) = 0;

    // Why the call has no sound (no microphone, no speaker, port taken, host
    // not found); empty while all is well.
    virtual QString statusText() const = 0;

    // The share of the peer's packets lost lately on the way here, 0 to 1; nothing while none
    // come. The way back is taken to be alike, so the video follows it too.
    virtual std::optional<double> receivedLoss() const { return std::nullopt; }

Q_SIGNALS:
    void statusChanged(const QString& text);
};

} // namespace vocalyn::voice
