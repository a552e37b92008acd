#pragma once

#include "base/gst/GstHandles.h"
#include "voice/gst/LineQuality.h"
#include "voice/gst/RtpPacketFilter.h"

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

// The two GStreamer pipelines of the terminal, one per direction, so that
// either can stop (mute) while the other runs. They share one UDP socket,
// bound by VoiceEngine, so that our packets leave from the port we receive on.
namespace vocalyn::voice {

// microphone ! convert ! 48 kHz S16 ! webrtcdsp ! volume ! opusenc ! rtpopuspay ! multiudpsink
struct SendPipeline {
    GstElementPtr pipeline;
    GstElementPtr microphone; // the bin parsed from the microphone description
    GstElementPtr format;     // capsfilter: rate, sample format, channels
    GstElementPtr gain;       // volume: SenderControl
    GstElementPtr encoder;    // opusenc
    GstElementPtr payloader;  // rtpopuspay
    GstElementPtr network;    // multiudpsink: no destination until the peer is resolved
};

// What the peer's packets tell about the line, kept by the receive filter on udpsrc's streaming
// thread and read by the terminal on the main thread.
struct LineWatch {
    std::mutex mutex;
    LineQuality quality;
};

// udpsrc (peer filter) ! rtpjitterbuffer ! rtpopusdepay ! opusdec ! 48 kHz S16 mono
//   ! volume ! webrtcechoprobe ! convert ! speaker
struct ReceivePipeline {
    GstElementPtr pipeline;
    GstElementPtr network; // udpsrc
    GstElementPtr jitter;  // rtpjitterbuffer
    GstElementPtr decoder; // opusdec
    GstElementPtr gain;    // volume: ReceiverControl
    GstElementPtr speaker; // the bin parsed from the speaker description
    std::shared_ptr<LineWatch> line = std::make_shared<LineWatch>();
};

// The peer's address as the receive filter sees it; 0 until resolved.
using PeerAddress = std::atomic<IPv4>;

struct PipelineRecipe {
    QString microphone;   // gst-launch description of the capture element(s)
    QString speaker;      // gst-launch description of the playback element(s)
    bool voiceProcessing; // echo cancellation, noise suppression, gain control
    QString echoProbe;    // name linking webrtcdsp to its probe; unique per terminal
};

// Null, with `problem` set, when the microphone description or a needed
// element is missing: there is nothing to send then.
std::unique_ptr<SendPipeline> BuildSendPipeline(const PipelineRecipe& recipe, QString& problem);

// A speaker description that cannot be built is replaced by a fakesink (the
// echo canceller still needs the probe), with `problem` set. Null only when
// a needed element is missing.
std::unique_ptr<ReceivePipeline> BuildReceivePipeline(const PipelineRecipe& recipe,
                                                      std::shared_ptr<PeerAddress> peer,
                                                      QString& problem);

} // namespace vocalyn::voice
