#pragma once
// Benchmarks that run copies of the program on test hosts (tools/testnet.sh): each measured
// once, in milliseconds of its own clock, on hosts made before and removed after.
#include <QProcess>
#include <QString>
#include <benchmark/benchmark.h>

#include <cstdio>

namespace vocalyn::bench {

// One run of a benchmark that times itself.
inline void OnceInMilliseconds(::benchmark::internal::Benchmark* registered) {
    registered->Iterations(1)->UseManualTime()->Unit(::benchmark::kMillisecond);
}

// Runs the registered benchmarks on the hosts NAME-a, -b and -c with the test-mode peer
// program; measures nothing, and says why, where test hosts cannot be made.
inline int RunOnTestHosts(const char* testnet, const QString& name, const char* peerProgram) {
    const QString script = QString::fromLocal8Bit(testnet);
    if (QProcess::execute(script, {"check", name}) != 0 ||
        QProcess::execute(script, {"up", name}) != 0) {
        std::fprintf(stderr, "no test hosts here (needs root and iproute2): nothing measured\n");
        return 0;
    }
    qputenv("VOCALYN_PEER", peerProgram);
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    QProcess::execute(script, {"down", name});
    return 0;
}

} // namespace vocalyn::bench
