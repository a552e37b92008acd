// How long a call takes to set up, for two copies of the program on two test hosts (test-mode
// peers: the real windows, network and media terminal, test tones for microphones, the scripted
// camera): from Alice's press of Call to the ringing shown at Bob, from Bob's answer to the
// "Accept" at Alice, to the first sound each way at the other's speaker and to the first picture
// each way, and from each press of End to that side's last datagram on the wire. Each interval's
// median and 95th percentile over the calls (30 unless VOCALYN_CALLS says otherwise), and the
// median of each step in between, from the answer.
//
// The anchor (CallSetupAnchor.cpp) is a standard SIP client making a direct call with Opus
// between the same two test hosts.
//
// The program makes its own test hosts (tools/testnet.sh, needs root) and removes them.
#include "bench/CallSetupAnchor.h"
#include "bench/TestHostsBench.h"
#include "tests/e2e/CallSetupRig.h"

#include <QCoreApplication>
#include <QProcess>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <vector>

using vocalyn::test::CallSetupRig;
using vocalyn::test::CallSetupTimes;
using vocalyn::test::Spread;
using vocalyn::test::SpreadOf;

namespace {

const QString kPrefix = QStringLiteral("csbench");
// A person takes a moment to reach the answer button; a second is quick.
constexpr int kRing_ms = 1000;

int Calls() {
    const int calls = qEnvironmentVariableIntValue("VOCALYN_CALLS");
    return calls > 0 ? calls : 30;
}

// The anchor's medians, measured first, by interval name.
std::map<std::string, double> anchor;

void Report(benchmark::State& state, const std::string& name, const std::vector<double>& values,
            double goal_ms) {
    const Spread spread = SpreadOf(values);
    state.counters[name + "_med"] = spread.median;
    state.counters[name + "_p95"] = spread.p95;
    std::printf("  %-34s median %8.2f ms   p95 %8.2f ms   (%zu calls)", name.c_str(), spread.median,
                spread.p95, values.size());
    if (goal_ms > 0)
        std::printf("   goal %.0f ms", goal_ms);
    if (const auto found = anchor.find(name); found != anchor.end() && found->second > 0) {
        state.counters[name + "_vs_anchor"] = spread.median / found->second;
        std::printf("   %.2f x the anchor", spread.median / found->second);
    }
    std::printf("\n");
}

void ThroughTheProgram(benchmark::State& state) {
    for (auto _ : state) {
        CallSetupRig rig(kPrefix, QStringLiteral(VOCALYN_RTP_TOOL_PROGRAM));
        if (const QString problem = rig.Ready(); !problem.isEmpty()) {
            state.SkipWithError(problem.toStdString().c_str());
            return;
        }
        std::map<std::string, std::vector<double>> intervals;
        std::map<std::string, std::vector<double>> steps;
        int failed = 0;
        for (int i = 0; i < Calls(); ++i) {
            QString why;
            const std::optional<CallSetupTimes> call = rig.Call(kRing_ms, why);
            if (!call) {
                std::fprintf(stderr, "call %d: %s\n", i, why.toUtf8().constData());
                if (++failed > 3) {
                    state.SkipWithError("calls keep failing");
                    return;
                }
                continue;
            }
            const auto add = [&](const char* name, double value) {
                if (value >= 0)
                    intervals[name].push_back(value);
            };
            add("ringing", call->ringing);
            add("accept", call->accept);
            add("sound_alice_to_bob", call->soundAtBob);
            add("sound_bob_to_alice", call->soundAtAlice);
            add("picture_alice_to_bob", call->pictureAtBob);
            add("picture_bob_to_alice", call->pictureAtAlice);
            add("end_alice_quiet", call->aliceQuiet);
            add("end_bob_quiet", call->bobQuiet);
            for (const auto& [name, value] : call->steps)
                if (value >= 0)
                    steps[name].push_back(value);
        }
        std::printf("\nthe program, %d calls (%d failed), Bob answering after %d ms:\n", Calls(),
                    failed, kRing_ms);
        Report(state, "ringing", intervals["ringing"], 5);
        Report(state, "accept", intervals["accept"], 0);
        Report(state, "sound_alice_to_bob", intervals["sound_alice_to_bob"], 120);
        Report(state, "sound_bob_to_alice", intervals["sound_bob_to_alice"], 120);
        Report(state, "picture_alice_to_bob", intervals["picture_alice_to_bob"], 80);
        Report(state, "picture_bob_to_alice", intervals["picture_bob_to_alice"], 80);
        Report(state, "end_alice_quiet", intervals["end_alice_quiet"], 0);
        Report(state, "end_bob_quiet", intervals["end_bob_quiet"], 0);
        std::printf("  where the time goes, from the answer (median, p95):\n");
        std::vector<std::pair<double, std::string>> order;
        for (const auto& [name, values] : steps)
            order.emplace_back(SpreadOf(values).median, name);
        std::sort(order.begin(), order.end());
        for (const auto& [median, name] : order)
            std::printf("    %-30s %8.2f %8.2f\n", name.c_str(), median, SpreadOf(steps[name]).p95);
        state.SetIterationTime(SpreadOf(intervals["sound_alice_to_bob"]).median / 1000.0);
    }
}

void ThroughTheAnchor(benchmark::State& state) {
    for (auto _ : state) {
        vocalyn::bench::AnchorResults results;
        const QString problem = vocalyn::bench::RunAnchor(kPrefix, Calls(), kRing_ms, results);
        if (!problem.isEmpty()) {
            state.SkipWithError(problem.toStdString().c_str());
            return;
        }
        std::printf("\nthe anchor (%s), %zu calls, answering after %d ms:\n",
                    results.description.toUtf8().constData(), results.ringing.size(), kRing_ms);
        Report(state, "ringing", results.ringing, 0);
        Report(state, "sound_alice_to_bob", results.soundAtCallee, 0);
        Report(state, "sound_bob_to_alice", results.soundAtCaller, 0);
        anchor["ringing"] = SpreadOf(results.ringing).median;
        anchor["sound_alice_to_bob"] = SpreadOf(results.soundAtCallee).median;
        anchor["sound_bob_to_alice"] = SpreadOf(results.soundAtCaller).median;
        state.SetIterationTime(anchor["sound_alice_to_bob"] / 1000.0);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    vocalyn::bench::OnceInMilliseconds(
        benchmark::RegisterBenchmark("CallSetup/sip_client_anchor", ThroughTheAnchor));
    vocalyn::bench::OnceInMilliseconds(
        benchmark::RegisterBenchmark("CallSetup/program", ThroughTheProgram));
    return vocalyn::bench::RunOnTestHosts(VOCALYN_TESTNET, kPrefix, VOCALYN_PEER_PROGRAM);
}
