#include "tests/e2e/VoiceTap.h"

#include "voice/gst/GstMediaTerm.h"

#include <gst/audio/audio.h>
#include <gst/gst.h>

#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace vocalyn::test {

namespace {

constexpr double kClickLevel = 2000;      // a sample this loud may start a click
constexpr double kClickQuiet_ms = 50;     // ...after this long without one
constexpr double kLoudChunkRms = 1000;    // about -30 dBFS: clearly more than a fading tail
constexpr std::size_t kChunksKept = 6000; // two minutes of 20 ms buffers

struct Chunk {
    double start_ms;
    double duration_ms;
    double sumSquares;
    std::uint64_t samples;
    int crossings;
    bool loud;
};

struct Stage {
    double sum_ms = 0;
    std::uint64_t count = 0;
};

struct Unref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
using ElementRef = std::unique_ptr<GstElement, Unref>;
using PadRef = std::unique_ptr<GstPad, Unref>;

// The samples of channel 0 of an S16 or F32 buffer, as 16-bit values.
std::vector<std::int16_t> Samples(GstPad* pad, GstBuffer* buffer, int& rate) {
    std::vector<std::int16_t> samples;
    GstCaps* caps = gst_pad_get_current_caps(pad);
    GstAudioInfo info;
    const bool known = caps && gst_audio_info_from_caps(&info, caps);
    if (caps)
        gst_caps_unref(caps);
    if (!known || info.channels < 1)
        return samples;
    rate = info.rate;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return samples;
    const std::size_t frames = map.size / std::size_t(info.bpf);
    samples.reserve(frames);
    if (GST_AUDIO_INFO_FORMAT(&info) == GST_AUDIO_FORMAT_S16) {
        const auto* data = reinterpret_cast<const std::int16_t*>(map.data);
        for (std::size_t i = 0; i < frames; ++i)
            samples.push_back(data[i * std::size_t(info.channels)]);
    } else if (GST_AUDIO_INFO_FORMAT(&info) == GST_AUDIO_FORMAT_F32) {
        const auto* data = reinterpret_cast<const float*>(map.data);
        for (std::size_t i = 0; i < frames; ++i)
            samples.push_back(std::int16_t(std::lround(
                std::clamp(data[i * std::size_t(info.channels)], -1.0f, 1.0f) * 32767.0f)));
    }
    gst_buffer_unmap(buffer, &map);
    return samples;
}

// Running time of `pts` in `element`'s pipeline, as CLOCK_MONOTONIC milliseconds: GStreamer's
// system clock is that clock.
double ClockTime_ms(GstElement* element, GstClockTime pts) {
    return double(gst_element_get_base_time(element) + pts) / 1e6;
}

GstElement* TopLevel(GstElement* element) {
    GstObject* top = GST_OBJECT(element);
    while (GstObject* parent = GST_OBJECT_PARENT(top))
        top = parent;
    return GST_ELEMENT(top);
}

} // namespace

struct VoiceTap::Store {
    void OnSpoken(GstPad* pad, GstBuffer* buffer);
    void OnPlayed(GstPad* pad, GstBuffer* buffer);
    void OnStage(const std::string& name, GstPad* pad, GstBuffer* buffer);

    mutable std::mutex mutex;
    std::deque<Chunk> played;
    std::vector<double> spoken;
    std::vector<double> heard;
    double lastLoudSpoken_ms = -1e12;
    double lastLoudHeard_ms = -1e12;
    double loudUntil_ms = 0;
    std::int16_t lastPlayedSample = 0;
    std::map<std::string, Stage> stages;
    std::atomic<std::uint64_t> sent{0};
    std::atomic<std::uint64_t> accepted{0};
    std::atomic<double> firstSent_ms{0};
    std::atomic<double> firstAccepted_ms{0};
};

namespace {

// Finds click onsets in `samples`, the first of which is at `start_ms`.
void FindClicks(const std::vector<std::int16_t>& samples, int rate, double start_ms,
                double& lastLoud_ms, std::vector<double>& onsets) {
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(int(samples[i])) < kClickLevel)
            continue;
        const double at_ms = start_ms + 1000.0 * double(i) / rate;
        if (at_ms - lastLoud_ms > kClickQuiet_ms)
            onsets.push_back(at_ms);
        lastLoud_ms = at_ms;
    }
}

} // namespace

void VoiceTap::Store::OnSpoken(GstPad* pad, GstBuffer* buffer) {
    int rate = 0;
    const std::vector<std::int16_t> samples = Samples(pad, buffer, rate);
    if (samples.empty() || !GST_BUFFER_PTS_IS_VALID(buffer))
        return;
    // A sound card hands over a buffer once its last sample is in, one buffer after the time
    // stamped on it; a test source hands it over at once. Counting the sound as made one buffer
    // earlier keeps the path from looking faster than it would be with a microphone.
    const double start_ms = ClockTime_ms(TopLevel(GST_PAD_PARENT(pad)), GST_BUFFER_PTS(buffer)) -
                            1000.0 * double(samples.size()) / rate;
    std::lock_guard lock(mutex);
    FindClicks(samples, rate, start_ms, lastLoudSpoken_ms, spoken);
}

void VoiceTap::Store::OnPlayed(GstPad* pad, GstBuffer* buffer) {
    const double now_ms = Now_ms();
    int rate = 0;
    const std::vector<std::int16_t> samples = Samples(pad, buffer, rate);
    if (samples.empty())
        return;
    std::lock_guard lock(mutex);
    Chunk chunk{now_ms, 1000.0 * double(samples.size()) / rate, 0, samples.size(), 0, false};
    std::int16_t before = lastPlayedSample;
    for (const std::int16_t sample : samples) {
        chunk.sumSquares += double(sample) * sample;
        if (before < 0 && sample >= 0)
            ++chunk.crossings;
        before = sample;
    }
    lastPlayedSample = before;
    chunk.loud = std::sqrt(chunk.sumSquares / double(chunk.samples)) >= kLoudChunkRms;
    if (chunk.loud)
        loudUntil_ms = chunk.start_ms + chunk.duration_ms;
    played.push_back(chunk);
    if (played.size() > kChunksKept)
        played.pop_front();
    FindClicks(samples, rate, now_ms, lastLoudHeard_ms, heard);
}

void VoiceTap::Store::OnStage(const std::string& name, GstPad* pad, GstBuffer* buffer) {
    if (!GST_BUFFER_PTS_IS_VALID(buffer))
        return;
    GstElement* pipeline = TopLevel(GST_PAD_PARENT(pad));
    GstClock* clock = gst_element_get_clock(pipeline);
    if (!clock)
        return;
    const double now_ms = double(gst_clock_get_time(clock)) / 1e6;
    gst_object_unref(clock);
    const double delay_ms = now_ms - ClockTime_ms(pipeline, GST_BUFFER_PTS(buffer));
    std::lock_guard lock(mutex);
    Stage& stage = stages[name];
    stage.sum_ms += delay_ms;
    ++stage.count;
}

namespace {

struct StageProbe {
    std::shared_ptr<VoiceTap::Store> store;
    std::string name;
    enum Kind { Delay, Spoken, Sent, Accepted } kind;
};

GstPadProbeReturn OnBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer data) noexcept {
    auto& probe = *static_cast<StageProbe*>(data);
    double unset = 0;
    if (probe.kind == StageProbe::Sent)
        probe.store->firstSent_ms.compare_exchange_strong(unset, VoiceTap::Now_ms());
    else if (probe.kind == StageProbe::Accepted)
        probe.store->firstAccepted_ms.compare_exchange_strong(unset, VoiceTap::Now_ms());
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        if (probe.kind == StageProbe::Sent)
            probe.store->sent += gst_buffer_list_length(GST_PAD_PROBE_INFO_BUFFER_LIST(info));
        return GST_PAD_PROBE_OK;
    }
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    switch (probe.kind) {
    case StageProbe::Delay:
        probe.store->OnStage(probe.name, pad, buffer);
        break;
    case StageProbe::Spoken:
        probe.store->OnStage(probe.name, pad, buffer);
        probe.store->OnSpoken(pad, buffer);
        break;
    case StageProbe::Sent:
        ++probe.store->sent;
        probe.store->OnStage(probe.name, pad, buffer);
        break;
    case StageProbe::Accepted:
        ++probe.store->accepted;
        break;
    }
    return GST_PAD_PROBE_OK;
}

void AddProbe(GstElement* bin, const char* element, const char* pad, StageProbe probe) {
    ElementRef found(GST_IS_BIN(bin) && std::string(GST_OBJECT_NAME(bin)) != element
                         ? gst_bin_get_by_name(GST_BIN(bin), element)
                         : GST_ELEMENT(gst_object_ref(bin)));
    if (!found)
        return;
    PadRef target(gst_element_get_static_pad(found.get(), pad));
    if (!target)
        return;
    gst_pad_add_probe(target.get(),
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
                      OnBuffer, new StageProbe(std::move(probe)),
                      [](gpointer data) { delete static_cast<StageProbe*>(data); });
}

void OnHandoff(GstElement*, GstBuffer* buffer, GstPad* pad, gpointer data) noexcept {
    auto& store = **static_cast<std::shared_ptr<VoiceTap::Store>*>(data);
    store.OnStage("receive.speaker", pad, buffer);
    store.OnPlayed(pad, buffer);
}

// Cumulative minimum latency the pipeline reports at `element`'s src pad, or -1.
double ReportedLatency_ms(GstElement* bin, const char* element) {
    ElementRef found(gst_bin_get_by_name(GST_BIN(bin), element));
    if (!found)
        return -1;
    PadRef pad(gst_element_get_static_pad(found.get(), "src"));
    if (!pad)
        return -1;
    GstQuery* query = gst_query_new_latency();
    GstClockTime latency = GST_CLOCK_TIME_NONE;
    if (gst_pad_query(pad.get(), query))
        gst_query_parse_latency(query, nullptr, &latency, nullptr);
    gst_query_unref(query);
    return GST_CLOCK_TIME_IS_VALID(latency) ? double(latency) / 1e6 : -1;
}

double PipelineLatency_ms(GstElement* pipeline) {
    GstQuery* query = gst_query_new_latency();
    GstClockTime latency = GST_CLOCK_TIME_NONE;
    if (gst_element_query(pipeline, query))
        gst_query_parse_latency(query, nullptr, &latency, nullptr);
    gst_query_unref(query);
    return GST_CLOCK_TIME_IS_VALID(latency) ? double(latency) / 1e6 : -1;
}

QString Pair(const QString& name, double value) {
    return name + QLatin1Char('=') + QString::number(value, 'f', 2);
}

} // namespace

VoiceTap::VoiceTap() : store_(std::make_shared<Store>()) {}

VoiceTap::~VoiceTap() = default;

void VoiceTap::Follow(const voice::GstMediaTerm& terminal) {
    terminal_ = &terminal;
    store_->firstSent_ms = 0;
    store_->firstAccepted_ms = 0;
    if (ElementRef microphone{terminal.MicrophoneElement()})
        ListenToSending(TopLevel(microphone.get()));
    if (ElementRef speaker{terminal.SpeakerElement()})
        ListenToReceiving(TopLevel(speaker.get()));
}

void VoiceTap::ListenToSending(GstElement* pipeline) {
    AddProbe(pipeline, "microphone", "src", {store_, "send.microphone", StageProbe::Spoken});
    AddProbe(pipeline, "dsp", "src", {store_, "send.dsp", StageProbe::Delay});
    AddProbe(pipeline, "encoder", "src", {store_, "send.encoder", StageProbe::Delay});
    AddProbe(pipeline, "network", "sink", {store_, "send.network", StageProbe::Sent});
}

void VoiceTap::ListenToReceiving(GstElement* pipeline) {
    AddProbe(pipeline, "network", "src", {store_, "receive.network", StageProbe::Delay});
    AddProbe(pipeline, "jitter", "sink", {store_, "", StageProbe::Accepted});
    AddProbe(pipeline, "jitter", "src", {store_, "receive.jitter", StageProbe::Delay});
    AddProbe(pipeline, "decoder", "src", {store_, "receive.decoder", StageProbe::Delay});
    if (ElementRef ear{gst_bin_get_by_name(GST_BIN(pipeline), "ear")}) {
        g_object_set(ear.get(), "signal-handoffs", TRUE, nullptr);
        g_signal_connect_data(
            ear.get(), "handoff", G_CALLBACK(OnHandoff), new std::shared_ptr<Store>(store_),
            [](gpointer data, GClosure*) { delete static_cast<std::shared_ptr<Store>*>(data); },
            GConnectFlags(0));
    }
}

HeardSound VoiceTap::Heard(double from_ms, double to_ms) const {
    HeardSound sound;
    if (to_ms <= from_ms)
        return sound;
    double sumSquares = 0;
    double samples = 0;
    double crossings = 0;
    double loud_ms = 0;
    double rate = 48000;
    {
        std::lock_guard lock(store_->mutex);
        for (const Chunk& chunk : store_->played) {
            const double end_ms = chunk.start_ms + chunk.duration_ms;
            const double overlap_ms = std::min(end_ms, to_ms) - std::max(chunk.start_ms, from_ms);
            if (overlap_ms <= 0)
                continue;
            const double share = overlap_ms / chunk.duration_ms;
            sumSquares += chunk.sumSquares * share;
            samples += double(chunk.samples) * share;
            rate = double(chunk.samples) * 1000.0 / chunk.duration_ms;
            sound.played_ms += overlap_ms;
            // The pitch of what can be heard: the faint edges of a sound cross zero at random.
            if (chunk.loud) {
                crossings += chunk.crossings * share;
                loud_ms += overlap_ms;
            }
        }
    }
    // Time in which nothing was played counts as silence.
    const double window = std::max(samples, (to_ms - from_ms) * rate / 1000.0);
    sound.rms = window > 0 ? std::sqrt(sumSquares / window) : 0;
    sound.frequency_Hz = loud_ms > 0 && crossings >= 2 ? crossings / (loud_ms / 1000.0) : 0;
    return sound;
}

double VoiceTap::LoudUntil_ms() const {
    std::lock_guard lock(store_->mutex);
    return store_->loudUntil_ms;
}

double VoiceTap::LongestQuiet_ms(double from_ms, double to_ms) const {
    std::lock_guard lock(store_->mutex);
    double longest = 0;
    double quietSince = from_ms;
    for (const Chunk& chunk : store_->played) {
        const double end_ms = chunk.start_ms + chunk.duration_ms;
        if (!chunk.loud || end_ms < from_ms || chunk.start_ms > to_ms)
            continue;
        longest = std::max(longest, chunk.start_ms - quietSince);
        quietSince = std::max(quietSince, end_ms);
    }
    return std::max(longest, to_ms - quietSince);
}

std::vector<double> VoiceTap::SpokenClicks_ms() const {
    std::lock_guard lock(store_->mutex);
    return store_->spoken;
}

std::vector<double> VoiceTap::HeardClicks_ms() const {
    std::lock_guard lock(store_->mutex);
    return store_->heard;
}

std::uint64_t VoiceTap::packetsSent() const {
    return store_->sent;
}

std::uint64_t VoiceTap::packetsAccepted() const {
    return store_->accepted;
}

double VoiceTap::firstSent_ms() const {
    return store_->firstSent_ms;
}

double VoiceTap::firstAccepted_ms() const {
    return store_->firstAccepted_ms;
}

QString VoiceTap::LatencyReport() const {
    QStringList pairs;
    if (terminal_) {
        if (ElementRef microphone{terminal_->MicrophoneElement()}) {
            GstElement* pipeline = TopLevel(microphone.get());
            for (const char* name : {"microphone", "dsp", "encoder", "payloader"})
                if (const double latency = ReportedLatency_ms(pipeline, name); latency >= 0)
                    pairs << Pair(QStringLiteral("reported.send.") + QLatin1String(name), latency);
            pairs << Pair(QStringLiteral("reported.send.total"), PipelineLatency_ms(pipeline));
        }
        if (ElementRef speaker{terminal_->SpeakerElement()}) {
            GstElement* pipeline = TopLevel(speaker.get());
            for (const char* name : {"network", "jitter", "decoder", "gain"})
                if (const double latency = ReportedLatency_ms(pipeline, name); latency >= 0)
                    pairs << Pair(QStringLiteral("reported.receive.") + QLatin1String(name),
                                  latency);
            pairs << Pair(QStringLiteral("reported.receive.total"), PipelineLatency_ms(pipeline));
        }
    }
    std::lock_guard lock(store_->mutex);
    for (const auto& [name, stage] : store_->stages)
        if (stage.count > 0)
            pairs << Pair(QStringLiteral("stage.") + QString::fromStdString(name),
                          stage.sum_ms / double(stage.count));
    return pairs.join(QLatin1Char(' '));
}

double VoiceTap::Now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

} // namespace vocalyn::test
