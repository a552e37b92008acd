#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

// Declared as GStreamer does, so that this header needs none of GLib.
typedef struct _GstElement GstElement;

namespace vocalyn::voice {
class GstMediaTerm;
}

namespace vocalyn::test {

// What a speaker played over a stretch of time.
struct HeardSound {
    double frequency_Hz = 0; // from rising zero crossings of the loud parts; 0 when too few
    double rms = 0;          // 0 to 32768; silence counts where nothing was played
    double played_ms = 0;    // how much sound was played in the stretch
};

// Listens to the pipelines of a GStreamer media terminal from outside, from its streaming
// threads: what its speaker (a fakesink named "ear") plays and when, the clicks its microphone
// makes and its speaker plays, how many RTP packets leave and are let in, and how long buffers
// take to reach each stage. All times are CLOCK_MONOTONIC milliseconds, which every process on
// the machine shares, so two copies of the program can be compared.
class VoiceTap {
public:
    VoiceTap();
    ~VoiceTap();
    VoiceTap(const VoiceTap&) = delete;
    VoiceTap& operator=(const VoiceTap&) = delete;

    // Starts listening to the pipelines `terminal` has just built (after each InitTerminal).
    void Follow(const voice::GstMediaTerm& terminal);
    // The same for pipelines of other make, by the names of their elements: "microphone",
    // "dsp", "encoder" and "network" (the sink) when sending; "network" (the source),
    // "jitter", "decoder" and "ear" (a fakesink) when receiving.
    void ListenToSending(GstElement* pipeline);
    void ListenToReceiving(GstElement* pipeline);

    // The sound played from `from_ms` to `to_ms`.
    HeardSound Heard(double from_ms, double to_ms) const;
    // When the last loud sound played ended; 0 when none has.
    double LoudUntil_ms() const;
    // The longest stretch without loud sound between `from_ms` and `to_ms`.
    double LongestQuiet_ms(double from_ms, double to_ms) const;

    // Onsets of clicks (a loud sound after at least 50 ms of quiet).
    std::vector<double> SpokenClicks_ms() const; // at the microphone, when captured
    std::vector<double> HeardClicks_ms() const;  // at the speaker, when played

    std::uint64_t packetsSent() const;     // RTP packets handed to the network
    std::uint64_t packetsAccepted() const; // RTP packets that passed the peer filter
    // When the first RTP packet of the pipelines followed last was handed to the network, and
    // when the first one passed the peer filter; 0 while none has.
    double firstSent_ms() const;
    double firstAccepted_ms() const;

    // The pipelines' own latency, per element, and the measured mean delay of buffers at each
    // stage after their timestamp, as "name=ms" pairs.
    QString LatencyReport() const;

    static double Now_ms();

    struct Store;

private:
    std::shared_ptr<Store> store_;
    const voice::GstMediaTerm* terminal_ = nullptr;
};

} // namespace vocalyn::test
