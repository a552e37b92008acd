// Datagrams from arrival to their handler on the main thread through a
// listening endpoint, against a bare recvfrom on a socket as the floor.
// Same datagram sizes, loopback only. Run with --benchmark_counters_tabular=true.

#include "net/SocketLayer.h"
#include "net/SystemResolver.h"
#include "net/TIdUDPServer.h"
#include "net/UniqueFd.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using vocalyn::net::UniqueFd;

constexpr int kBurst = 32; // fits the default receive buffer at 1400 bytes

sockaddr_in Loopback(quint16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

UniqueFd BoundReceiver(sockaddr_in& address) {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    address = Loopback(0);
    socklen_t length = sizeof address;
    ::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length);
    return fd;
}

void Send(const UniqueFd& sender, const sockaddr_in& to, const std::vector<char>& payload) {
    ::sendto(sender.get(), payload.data(), payload.size(), 0,
             reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

double Microseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::micro>(duration).count();
}

void ReportLatency(benchmark::State& state, std::vector<double>& latencies_us) {
    if (latencies_us.empty())
        return;
    std::sort(latencies_us.begin(), latencies_us.end());
    state.counters["median_us"] = latencies_us[latencies_us.size() / 2];
    state.counters["p99_us"] = latencies_us[latencies_us.size() * 99 / 100];
}

// The floor: the same datagram read straight off its socket.
void BM_BareRecvfrom(benchmark::State& state) {
    const std::vector<char> payload(static_cast<size_t>(state.range(0)), 'x');
    std::vector<char> buffer(65536);
    sockaddr_in to{};
    const UniqueFd receiver = BoundReceiver(to);
    const UniqueFd sender(::socket(AF_INET, SOCK_DGRAM, 0));
    std::vector<double> latencies_us;
    for (auto _ : state) {
        Send(sender, to, payload);
        const Clock::time_point arrived = Clock::now(); // loopback delivers within sendto
        ::recv(receiver.get(), buffer.data(), buffer.size(), 0);
        latencies_us.push_back(Microseconds(Clock::now() - arrived));
    }
    state.SetItemsProcessed(state.iterations());
    ReportLatency(state, latencies_us);
}

// One datagram at a time through a listening endpoint to its handler.
class HandedOver {
public:
    HandedOver() {
        server_.Bindings.Add().IP = QStringLiteral("127.0.0.1");
        server_.OnUDPRead = [this](vocalyn::net::TIdUDPServer&, const QByteArray&,
                                   vocalyn::net::TIdSocketHandle&) {
            handledAt_ = Clock::now();
            ++handled_;
        };
        server_.setActive(true);
        to_ = Loopback(server_.Bindings[0].Port);
        keepAwake_.start(100); // lets a lost datagram end the wait below
    }

    // Runs the event loop until `count` handlers in all have run; false on a loss.
    bool WaitFor(long count) {
        QDeadlineTimer deadline(5000);
        while (handled_ < count && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return handled_ >= count;
    }

    vocalyn::net::SystemResolver resolver_;
    vocalyn::net::SocketLayer layer_{resolver_};
    vocalyn::net::TIdUDPServer server_{layer_};
    QTimer keepAwake_;
    sockaddr_in to_{};
    long handled_ = 0;
    Clock::time_point handledAt_;
};

void BM_HandOver(benchmark::State& state) {
    const std::vector<char> payload(static_cast<size_t>(state.range(0)), 'x');
    HandedOver endpoint;
    const UniqueFd sender(::socket(AF_INET, SOCK_DGRAM, 0));
    std::vector<double> latencies_us;
    for (auto _ : state) {
        Send(sender, endpoint.to_, payload);
        const Clock::time_point arrived = Clock::now();
        if (!endpoint.WaitFor(endpoint.handled_ + 1)) {
            state.SkipWithError("datagram lost");
            break;
        }
        latencies_us.push_back(Microseconds(endpoint.handledAt_ - arrived));
    }
    state.SetItemsProcessed(state.iterations());
    ReportLatency(state, latencies_us);
}

// Throughput when datagrams queue up: bursts read straight off the socket...
void BM_BareRecvfromBurst(benchmark::State& state) {
    const std::vector<char> payload(static_cast<size_t>(state.range(0)), 'x');
    std::vector<char> buffer(65536);
    sockaddr_in to{};
    const UniqueFd receiver = BoundReceiver(to);
    const UniqueFd sender(::socket(AF_INET, SOCK_DGRAM, 0));
    for (auto _ : state) {
        for (int i = 0; i < kBurst; ++i)
            Send(sender, to, payload);
        for (int i = 0; i < kBurst; ++i)
            ::recv(receiver.get(), buffer.data(), buffer.size(), 0);
    }
    state.SetItemsProcessed(state.iterations() * kBurst);
}

// ...and through the endpoint.
void BM_HandOverBurst(benchmark::State& state) {
    const std::vector<char> payload(static_cast<size_t>(state.range(0)), 'x');
    HandedOver endpoint;
    const UniqueFd sender(::socket(AF_INET, SOCK_DGRAM, 0));
    for (auto _ : state) {
        for (int i = 0; i < kBurst; ++i)
            Send(sender, endpoint.to_, payload);
        if (!endpoint.WaitFor(endpoint.handled_ + kBurst)) {
            state.SkipWithError("datagram lost");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kBurst);
}

BENCHMARK(BM_BareRecvfrom)->Arg(64)->Arg(1400)->UseRealTime();
BENCHMARK(BM_HandOver)->Arg(64)->Arg(1400)->UseRealTime();
BENCHMARK(BM_BareRecvfromBurst)->Arg(64)->Arg(1400)->UseRealTime();
BENCHMARK(BM_HandOverBurst)->Arg(64)->Arg(1400)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
