// Voice over a bad line, as a listener hears it: the microphone plays notes with a short break
// once a second; what one side's microphone gave and what the other side's speaker played are
// recorded at the same time on one clock, and compared here.
//
//   bench_voice_gaps tone                 writes the microphone's sound, raw s16 48 kHz mono,
//                                         without end, to the standard output
//   bench_voice_gaps record SECONDS SENT_SERVER SENT_SOURCE HEARD_SERVER HEARD_SOURCE SENT HEARD
//                                         records the two sound servers' sources (such as
//                                         "unix:/dir/pulse.sock" "microphone.monitor") into the
//                                         files SENT and HEARD, both from the same moment on
//   bench_voice_gaps compare SENT HEARD   compares two recordings in that format
//
// compare prints: "voice sent BLOCKS silent PERCENT gaps RUNS mouth-to-ear MS", where BLOCKS are
// the 10 ms blocks in which the tone was on at the microphone, PERCENT the share of them that
// came out silent, RUNS the number of silent runs among them, and MS how much later the breaks
// came out of the speaker than they went into the microphone ("-" when nothing came out).
#include <gst/gst.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kUnit = kRate / 1000; // 1 ms: what sound levels and lags are measured in
constexpr int kBlockUnits = 10;     // a block is 10 ms, what the programs send and play
constexpr int kBreakMs = 100;       // once a second, at a place that moves from one to the next
// Where the break begins in each second of a 7 s round: every second looks different for long
// enough that a lag of up to kMaxLagMs cannot be taken for another.
constexpr int kBreakAt_ms[] = {900, 200, 600, 300, 700, 100, 500};
constexpr int kMaxLagMs = 3000;

// Notes of 100 ms at changing pitches, like the syllables of a voice: a steady tone is what a
// noise suppressor learns to take out.
int Tone() {
    constexpr double kNotes[] = {330, 523, 392, 659, 440, 587, 494, 784, 370};
    constexpr int kNoteMs = 100;
    std::vector<std::int16_t> round(std::size(kBreakAt_ms) * kRate, 0);
    double phase = 0; // carried from note to note, so that no change clicks
    for (std::size_t i = 0; i < round.size(); ++i) {
        const int ms = int(i / kUnit);
        const int inSecond = ms % 1000;
        const int breakAt = kBreakAt_ms[ms / 1000];
        if (inSecond >= breakAt && inSecond < breakAt + kBreakMs)
            continue;
        phase += 2 * std::numbers::pi * kNotes[(ms / kNoteMs) % std::size(kNotes)] / kRate;
        round[i] = std::int16_t(8000 * std::sin(phase));
    }
    while (std::fwrite(round.data(), sizeof round[0], round.size(), stdout) == round.size())
        ;
    return 0; // the reader went away
}

// One source's recording, filled from its streaming thread.
struct Track {
    std::mutex mutex;
    GstClockTime first = GST_CLOCK_TIME_NONE; // when its first sample was taken
    std::vector<std::int16_t> samples;
};

GstPadProbeReturn Keep(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto& track = *static_cast<Track*>(data);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return GST_PAD_PROBE_OK;
    const auto* first = reinterpret_cast<const std::int16_t*>(map.data);
    std::lock_guard lock(track.mutex);
    if (track.first == GST_CLOCK_TIME_NONE)
        track.first = GST_BUFFER_PTS(buffer);
    track.samples.insert(track.samples.end(), first, first + map.size / 2);
    gst_buffer_unmap(buffer, &map);
    return GST_PAD_PROBE_OK;
}

gboolean Quit(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
}

// Both sources in one pipeline, so that their samples are timed by one clock: two recorders
// started one after the other would be apart by however long each took to start, which on a
// busy machine is as long as the mouth-to-ear time measured. The clock is the system's: with
// one of the sources providing it, the other's first timestamps were found off by 200 ms.
int Record(int seconds, char** sources, const char* sentPath, const char* heardPath) {
    gst_init(nullptr, nullptr);
    std::string description;
    for (int i = 0; i < 2; ++i)
        description += std::string("pulsesrc provide-clock=false server=\"") + sources[2 * i] +
                       "\" device=\"" + sources[2 * i + 1] +
                       "\" ! audio/x-raw,format=S16LE,rate=48000,channels=1 ! fakesink name=track" +
                       std::to_string(i) + " sync=false ";
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (!pipeline || error) {
        std::fprintf(stderr, "record: %s\n", error ? error->message : "no pipeline");
        return 1;
    }
    Track tracks[2];
    for (int i = 0; i < 2; ++i) {
        GstElement* sink =
            gst_bin_get_by_name(GST_BIN(pipeline), ("track" + std::to_string(i)).c_str());
        GstPad* pad = gst_element_get_static_pad(sink, "sink");
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, Keep, &tracks[i], nullptr);
        gst_object_unref(pad);
        gst_object_unref(sink);
    }
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_timeout_add_seconds(guint(std::max(seconds, 1)), Quit, loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    if (tracks[0].first == GST_CLOCK_TIME_NONE || tracks[1].first == GST_CLOCK_TIME_NONE) {
        std::fprintf(stderr, "record: a source gave nothing\n");
        return 1;
    }
    // From the moment both were recording, as long as both were.
    const GstClockTime start = std::max(tracks[0].first, tracks[1].first);
    std::size_t skip[2], length = SIZE_MAX;
    for (int i = 0; i < 2; ++i) {
        skip[i] =
            std::min<std::size_t>(gst_util_uint64_scale(start - tracks[i].first, kRate, GST_SECOND),
                                  tracks[i].samples.size());
        length = std::min(length, tracks[i].samples.size() - skip[i]);
    }
    const char* paths[2] = {sentPath, heardPath};
    for (int i = 0; i < 2; ++i) {
        std::ofstream file(paths[i], std::ios::binary);
        file.write(reinterpret_cast<const char*>(tracks[i].samples.data() + skip[i]),
                   std::streamsize(length * 2));
    }
    return 0;
}

std::vector<std::int16_t> Read(const char* path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Whether each millisecond is loud: its peak above a fifth of the level most milliseconds reach,
// so that the speaker's level, set by volumes and the codec, does not matter.
std::vector<bool> Loudness(const std::vector<std::int16_t>& samples) {
    std::vector<int> peaks(samples.size() / kUnit);
    for (std::size_t u = 0; u < peaks.size(); ++u)
        for (int i = 0; i < kUnit; ++i)
            peaks[u] = std::max(peaks[u], std::abs(int(samples[u * kUnit + std::size_t(i)])));
    std::vector<int> sorted = peaks;
    std::sort(sorted.begin(), sorted.end());
    const int level = sorted.empty() ? 0 : sorted[sorted.size() * 8 / 10];
    const int threshold = std::max(level / 5, 200); // never the noise floor of a silent line
    std::vector<bool> loud(peaks.size());
    for (std::size_t u = 0; u < peaks.size(); ++u)
        loud[u] = peaks[u] > threshold;
    return loud;
}

// The lag at which what was heard agrees best with what was sent, in milliseconds.
int Lag(const std::vector<bool>& sent, const std::vector<bool>& heard) {
    int best = 0;
    double bestScore = -1;
    for (int lag = 0; lag <= kMaxLagMs; ++lag) {
        long agree = 0, count = 0;
        for (std::size_t u = 0; u < sent.size() && u + std::size_t(lag) < heard.size(); ++u) {
            agree += sent[u] == heard[u + std::size_t(lag)];
            ++count;
        }
        if (count > 0 && double(agree) / double(count) > bestScore) {
            bestScore = double(agree) / double(count);
            best = lag;
        }
    }
    return best;
}

int Compare(const char* sentPath, const char* heardPath) {
    const std::vector<bool> sent = Loudness(Read(sentPath));
    std::vector<bool> heard = Loudness(Read(heardPath));
    // With next to nothing heard, no lag can be told; every block sent counts as silent.
    const bool deaf = std::count(heard.begin(), heard.end(), true) * 10 <= long(heard.size());
    if (deaf)
        heard.assign(sent.size(), false);
    const int lag = deaf ? 0 : Lag(sent, heard);
    long blocks = 0, silent = 0, gaps = 0;
    bool inGap = false;
    for (std::size_t start = 0; start + kBlockUnits <= sent.size(); start += kBlockUnits) {
        const std::size_t at = start + std::size_t(lag);
        if (at + kBlockUnits > heard.size())
            break;
        if (!std::all_of(sent.begin() + long(start), sent.begin() + long(start + kBlockUnits),
                         [](bool loud) { return loud; }))
            continue; // the break, or its edges: nothing was said
        ++blocks;
        const long loud =
            std::count(heard.begin() + long(at), heard.begin() + long(at + kBlockUnits), true);
        if (loud * 2 < kBlockUnits) {
            ++silent;
            gaps += !inGap;
            inGap = true;
        } else {
            inGap = false;
        }
    }
    std::printf("voice sent %ld silent %.2f gaps %ld mouth-to-ear ", blocks,
                blocks ? 100.0 * double(silent) / double(blocks) : 0.0, gaps);
    if (deaf)
        std::printf("-\n");
    else
        std::printf("%d\n", lag);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "tone") == 0)
        return Tone();
    if (argc == 9 && std::strcmp(argv[1], "record") == 0)
        return Record(std::atoi(argv[2]), argv + 3, argv[7], argv[8]);
    if (argc == 4 && std::strcmp(argv[1], "compare") == 0)
        return Compare(argv[2], argv[3]);
    std::fprintf(stderr,
                 "usage: %s tone | record SECONDS SENT_SERVER SENT_SOURCE HEARD_SERVER "
                 "HEARD_SOURCE SENT HEARD | compare SENT HEARD\n",
                 argv[0]);
    return 2;
}
