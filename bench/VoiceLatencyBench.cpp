// The mouth-to-ear delay of a call: Alice's microphone is a test source that clicks every
// 250 ms, and the click's onset at her microphone is timed against its onset at Bob's speaker (a
// fakesink, synchronised as a sound card is), for two copies of the program on two test hosts.
// Both talk all the time (Bob sends a tone back), as in a lively call. The anchor is a plain
// GStreamer Opus/RTP pipeline pair on loopback with a 20 ms jitter buffer and elements' defaults
// otherwise (the sender does not wait for the clock). A last run keeps
// Alice's tone going through 10 % random loss on her link and reports the energy Bob still gets.
//
// The program makes its own test hosts (tools/testnet.sh, needs root) and removes them.
#include "tests/e2e/PeerProcess.h"
#include "tests/e2e/VoiceTap.h"

#include "bench/TestHostsBench.h"

#include <QCoreApplication>
#include <QProcess>
#include <benchmark/benchmark.h>
#include <gst/gst.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

using vocalyn::test::PeerProcess;
using vocalyn::test::VoiceTap;

namespace {

const QString kPrefix = QStringLiteral("vbench");
const QString kBob = QStringLiteral("198.18.0.2");
constexpr int kWarmUpClicks = 4;
constexpr int kClicks = 28;
const char* const kClicking =
    "audiotestsrc wave=ticks freq=1000 tick-interval=250000000 is-live=true samplesperbuffer=480";

// Polls `done` until it holds or `limit_ms` has passed.
bool WaitUntil(const std::function<bool()>& done, int limit_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

struct Delays {
    std::vector<double> ms;
    double median = 0;
    double p95 = 0;
};

// Each heard click against the last one spoken before it.
Delays Pair(const std::vector<double>& spoken, const std::vector<double>& heard) {
    Delays delays;
    for (const double ear : heard) {
        const auto after = std::lower_bound(spoken.begin(), spoken.end(), ear);
        if (after != spoken.begin() && ear - *(after - 1) < 200)
            delays.ms.push_back(ear - *(after - 1));
    }
    const std::ptrdiff_t skip = std::min<std::ptrdiff_t>(kWarmUpClicks, delays.ms.size());
    delays.ms.erase(delays.ms.begin(), delays.ms.begin() + skip);
    std::vector<double> sorted = delays.ms;
    std::sort(sorted.begin(), sorted.end());
    if (!sorted.empty()) {
        delays.median = sorted[sorted.size() / 2];
        delays.p95 = sorted[std::min(sorted.size() - 1, sorted.size() * 95 / 100)];
    }
    return delays;
}

std::vector<double> Times(const QString& list) {
    std::vector<double> times;
    for (const QString& time : list.split(QLatin1Char(','), Qt::SkipEmptyParts))
        times.push_back(time.toDouble());
    return times;
}

QMap<QString, QString> Ask(PeerProcess& peer, const QString& command) {
    const QString answer = peer.Command(command);
    return PeerProcess::ParsePairs(answer.mid(answer.indexOf(QLatin1Char(' ')) + 1));
}

QByteArray Settings(const char* name) {
    return QByteArray("[Settings]\r\nRingTone=ring.wav\r\nRingTime=10000\r\nMessage=away\r\n"
                      "CallerID=") +
           name + "\r\n";
}

struct Call {
    std::unique_ptr<PeerProcess> alice;
    std::unique_ptr<PeerProcess> bob;
    bool up = false;
};

Call PlaceCall(const QString& aliceMicrophone, bool voiceProcessing,
               const QString& bobsMicrophone =
                   QStringLiteral("audiotestsrc freq=600 is-live=true samplesperbuffer=480")) {
    QStringList extra;
    if (!voiceProcessing)
        extra << QStringLiteral("--no-voice-processing");
    Call call;
    call.alice = std::make_unique<PeerProcess>(kPrefix + "-a", Settings("Alice"),
                                               QStringList{"--voice", aliceMicrophone} + extra);
    call.bob = std::make_unique<PeerProcess>(kPrefix + "-b", Settings("Bob"),
                                             QStringList{"--voice", bobsMicrophone} + extra);
    const QMap<QString, QString> ready{{"activated", "1"}, {"listening", "1"}};
    call.up =
        call.alice->WaitFor(ready, 10000) == "ok" && call.bob->WaitFor(ready, 10000) == "ok" &&
        call.alice->Command("type " + kBob) == "ok" && call.alice->Command("click call") == "ok" &&
        call.bob->WaitFor({{"ringing", "1"}}) == "ok" && call.bob->Command("click call") == "ok" &&
        call.alice->WaitFor({{"link", "1"}}) == "ok";
    return call;
}

// The anchor's median, measured first.
double plainMedian_ms = 0;

void Report(benchmark::State& state, const Delays& delays) {
    state.SetIterationTime(delays.median / 1000.0);
    state.counters["median_ms"] = delays.median;
    state.counters["p95_ms"] = delays.p95;
    state.counters["clicks"] = double(delays.ms.size());
    if (plainMedian_ms > 0)
        state.counters["vs_plain"] = delays.median / plainMedian_ms;
}

void ThroughTwoTerminals(benchmark::State& state, bool voiceProcessing) {
    for (auto _ : state) {
        Call call = PlaceCall(QLatin1String(kClicking), voiceProcessing);
        if (!call.up) {
            state.SkipWithError("the call could not be made");
            return;
        }
        const bool enough = WaitUntil(
            [&] {
                return Times(Ask(*call.bob, "clicks").value("heard")).size() >=
                       std::size_t(kClicks + kWarmUpClicks);
            },
            20000);
        const QMap<QString, QString> clicksA = Ask(*call.alice, "clicks");
        const QMap<QString, QString> clicksB = Ask(*call.bob, "clicks");
        const Delays delays = Pair(Times(clicksA.value("spoken")), Times(clicksB.value("heard")));
        if (!enough || delays.ms.size() < 20) {
            state.SkipWithError("too few clicks arrived");
            return;
        }
        Report(state, delays);
        const QMap<QString, QString> sending = Ask(*call.alice, "latency");
        const QMap<QString, QString> receiving = Ask(*call.bob, "latency");
        state.counters["reported_send_ms"] = sending.value("reported.send.payloader").toDouble();
        state.counters["reported_receive_ms"] =
            receiving.value("reported.receive.total").toDouble();
        std::printf("\n%s\n  Alice sending:  %s\n  Bob receiving:  %s\n",
                    voiceProcessing ? "with echo cancellation and noise suppression"
                                    : "without voice processing",
                    call.alice->Command("latency").toUtf8().constData(),
                    call.bob->Command("latency").toUtf8().constData());
    }
}

// The same clicks through two plain pipelines on loopback, watched by the same tap.
void ThroughPlainPipelines(benchmark::State& state) {
    const char* const sending =
        "audiotestsrc name=microphone wave=ticks freq=1000 tick-interval=250000000 is-live=true "
        "samplesperbuffer=480 ! audioconvert ! opusenc name=encoder frame-size=20 ! "
        "rtpopuspay pt=96 ! udpsink name=network host=127.0.0.1 port=18500 sync=false";
    const char* const receiving =
        "udpsrc name=network address=127.0.0.1 port=18500 "
        "caps=\"application/x-rtp,media=audio,encoding-name=OPUS,clock-rate=48000,payload=96\" ! "
        "rtpjitterbuffer name=jitter latency=20 ! rtpopusdepay ! opusdec name=decoder ! "
        "audioconvert ! audio/x-raw,format=S16LE,channels=1 ! fakesink name=ear sync=true";
    for (auto _ : state) {
        VoiceTap tap;
        GstElement* receiver = gst_parse_launch(receiving, nullptr);
        GstElement* sender = gst_parse_launch(sending, nullptr);
        if (!receiver || !sender) {
            state.SkipWithError("the plain pipelines cannot be built");
            return;
        }
        tap.ListenToReceiving(receiver);
        tap.ListenToSending(sender);
        gst_element_set_state(receiver, GST_STATE_PLAYING);
        gst_element_set_state(sender, GST_STATE_PLAYING);
        WaitUntil(
            [&] { return tap.HeardClicks_ms().size() >= std::size_t(kClicks + kWarmUpClicks); },
            20000);
        const Delays delays = Pair(tap.SpokenClicks_ms(), tap.HeardClicks_ms());
        std::printf("\nplain pipelines: %s\n", tap.LatencyReport().toUtf8().constData());
        gst_element_set_state(sender, GST_STATE_NULL);
        gst_element_set_state(receiver, GST_STATE_NULL);
        gst_object_unref(sender);
        gst_object_unref(receiver);
        if (delays.ms.size() < 20) {
            state.SkipWithError("too few clicks arrived");
            return;
        }
        Report(state, delays);
        plainMedian_ms = delays.median;
    }
}

bool RunOn(const QString& host, const QStringList& command, const QByteArray& input = {}) {
    QProcess process;
    process.start(QStringLiteral("ip"),
                  QStringList{QStringLiteral("netns"), QStringLiteral("exec"), host} + command);
    if (!process.waitForStarted(5000))
        return false;
    process.write(input);
    process.closeWriteChannel();
    return process.waitForFinished(5000) && process.exitCode() == 0;
}

// Mean square of what Bob hears over `count` one-second windows.
double MeanSquare(PeerProcess& bob, int count) {
    double sum = 0;
    for (int i = 0; i < count; ++i) {
        const double started = VoiceTap::Now_ms();
        WaitUntil([&] { return VoiceTap::Now_ms() - started >= 1000; }, 2000);
        const double rms = Ask(bob, "heard 1000").value("rms").toDouble();
        sum += rms * rms;
    }
    return sum / count;
}

// Alice's steady tone through 10 % random loss on her link (nftables: the kernel here has no
// netem), against the same call without loss before and after.
void EnergyUnderLoss(benchmark::State& state) {
    const QByteArray rule = "table ip vocalyn_loss { chain out {"
                            " type filter hook output priority 0; policy accept;"
                            " udp dport 8500 numgen random mod 100 < 10 counter drop; }; }\n";
    for (auto _ : state) {
        // Bob only listens: with both talking, each echo canceller would also react to the
        // other's concealed sound, and the level would wander for reasons other than the loss.
        Call call = PlaceCall("audiotestsrc freq=1000 is-live=true samplesperbuffer=480", true,
                              "audiotestsrc wave=silence is-live=true samplesperbuffer=480");
        if (!call.up) {
            state.SkipWithError("the call could not be made");
            return;
        }
        // The sender's noise suppressor takes a few seconds to settle on a steady tone.
        WaitUntil([&] { return false; }, 5000);
        const double before = MeanSquare(*call.bob, 3);
        if (!RunOn(kPrefix + "-a", {"nft", "-f", "-"}, rule)) {
            state.SkipWithError("nftables (nft) is needed for the loss");
            return;
        }
        const double lossy = MeanSquare(*call.bob, 5);
        RunOn(kPrefix + "-a", {"nft", "delete", "table", "ip", "vocalyn_loss"});
        const double after = MeanSquare(*call.bob, 3);
        const double kept = lossy / ((3 * before + 3 * after) / 6);
        state.SetIterationTime(1);
        state.counters["energy_kept_pct"] = 100 * kept;
        state.counters["rms_clean"] = std::sqrt((before + after) / 2);
        state.counters["rms_lossy"] = std::sqrt(lossy);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    gst_init(&argc, &argv);
    benchmark::Initialize(&argc, argv);
    vocalyn::bench::OnceInMilliseconds(
        benchmark::RegisterBenchmark("MouthToEar/plain_pipelines_anchor", ThroughPlainPipelines));
    vocalyn::bench::OnceInMilliseconds(
        benchmark::RegisterBenchmark("MouthToEar/terminals", ThroughTwoTerminals, true));
    vocalyn::bench::OnceInMilliseconds(benchmark::RegisterBenchmark(
        "MouthToEar/terminals_without_voice_processing", ThroughTwoTerminals, false));
    vocalyn::bench::OnceInMilliseconds(
        benchmark::RegisterBenchmark("LossOfTenPercent/energy", EnergyUnderLoss));
    return vocalyn::bench::RunOnTestHosts(VOCALYN_TESTNET, kPrefix, VOCALYN_PEER_PROGRAM);
}
