#pragma once

#include "base/gst/GstHandles.h"
#include "voice/gst/VoicePipelines.h"

#include <QString>

#include <memory>

namespace vocalyn::voice {

// What a status text is about; each topic holds one text, shown in this order.
enum class StatusTopic { Sending, Receiving, Port, Host };

struct SenderSettings {
    int packetTime_ms = 20;
    int bitrate_kbps = 64;
    int channels = 1;
    bool fec = true; // allowed: carried only while the line loses packets
    bool dtx = false;
    bool lossy = false; // the line loses packets now, as the voice received from the peer shows
};

struct ReceiverSettings {
    int packetTime_ms = 20;
    int jitterBuffer_ms = 30;
};

// Posts a status text on `pipeline`'s bus, where the terminal's bus watch
// picks it up on the main thread. A `fallback` text only fills an empty topic:
// the element's own error, posted earlier, says more.
void PostStatus(GstElement* pipeline, StatusTopic topic, const QString& text,
                bool fallback = false);
struct PostedStatus {
    StatusTopic topic;
    QString text;
    bool fallback;
};
// The status carried by `message`, if it is one of ours.
bool ReadStatus(GstMessage* message, PostedStatus& status);

// Starts and stops the pipelines of one InitTerminal..ExitTerminal span and
// owns the UDP socket they share. Its starting and stopping operations run
// only on the terminal's worker thread, one after the other; the main thread
// uses only the pipelines' thread-safe parts (volumes, destination, bus).
class VoiceEngine {
public:
    VoiceEngine(std::unique_ptr<SendPipeline> send, std::unique_ptr<ReceivePipeline> receive);
    ~VoiceEngine();

    VoiceEngine(const VoiceEngine&) = delete;
    VoiceEngine& operator=(const VoiceEngine&) = delete;

    SendPipeline* send() const { return send_.get(); } // null when there is no microphone
    ReceivePipeline* receive() const { return receive_.get(); }

    // Worker thread only. `port` 0 binds any free port.
    void StartSending(const SenderSettings& settings, int port);
    void StopSending();
    void StartReceiving(const ReceiverSettings& settings, int port);
    void StopReceiving();
    // Adapts the running receiver to the line: the jitter buffer's wait, and whether the decoder
    // rebuilds a lost packet from the in-band FEC of the next one (which holds every packet back
    // by one packet time, so only worth it while packets are lost).
    void TuneReceiving(int jitterBuffer_ms, bool fec);
    // Adapts the running sender: in-band FEC only while the line loses packets, as Opus then
    // encodes every packet twice (and in its costlier speech mode).
    void TuneSending(bool lossy);
    // After an error: the direction's pipeline stops, but it still counts as
    // running until its stop operation, so the port stays bound.
    void Halt(bool sendingSide);
    // Stops both directions for good; the main thread no longer watches the buses.
    void Shutdown();

private:
    GSocket* SocketFor(int port, GstElement* reportTo);
    void ReleaseSocket();

    std::unique_ptr<SendPipeline> send_;
    std::unique_ptr<ReceivePipeline> receive_;
    GSocketPtr socket_;
    int boundPort_ = 0;
    bool sending_ = false;
    bool receiving_ = false;
    SenderSettings sender_;
    int wait_ms_ = 0;
    int packetTime_ms_ = 20;
    bool fec_ = false;
};

} // namespace vocalyn::voice
