// Floods a test host's video port with one JPEG file of a chosen kind while asking it, from
// other addresses, for calls it must refuse as busy: how late its busy replies come during the
// flood, and how soon after the flood one comes in time again.
//
//   vocalyn_jpegflood TARGET KIND RATE SECONDS PROBE_ADDRESS... RESERVE_ADDRESS
//
// KIND: progressive, arithmetic, multiscan, extended, cmyk, twelvebit, oversized (see
// ExpensiveJpeg), or largest: the largest frame a copy sends, valid. Each probe address (the
// host's own, at least two) sends a call request to TARGET:6767 from port 6767, where the busy
// reply comes back, at most once every 1.05 s so that no reply limit per address interferes;
// the reserve address sends one request the moment the flood ends. Prints
//   sent= bytes= probes= answered= p50_ms= p99_ms= max_ms= recovery_ms=
// recovery_ms: from the end of the flood until the reply to the first request sent after it
// that came within 50 ms. Run it on a test host only (ip netns exec ...).
#include "net/UniqueFd.h"
#include "tests/video/CraftedJpeg.h"
#include "tests/video/PictureSupport.h"
#include "video/transport/VideoDatagram.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using vocalyn::net::UniqueFd;

constexpr long kProbeSpacing_ms = 1050; // per address, above one second
constexpr double kInTime_ms = 50;
constexpr double kGiveUp_ms = 20000;

double Now_ms() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

QByteArray FileOf(const std::string& kind) {
    if (kind == "largest") {
        const QImage picture = vocalyn::test::NoisyPicture(1920, 1088, 2);
        std::vector<std::uint8_t> out(vocalyn::video::kMaxVideoDatagram);
        vocalyn::video::JpegEncoder encoder;
        vocalyn::video::VideoDatagramWriter writer;
        const auto datagram = writer.Write(encoder, vocalyn::test::ViewOf(picture), out);
        return QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(datagram.size));
    }
    return vocalyn::test::ExpensiveJpeg(QString::fromStdString(kind));
}

sockaddr_in Address(const char* text, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, text, &address.sin_addr) != 1)
        address.sin_family = AF_UNSPEC;
    return address;
}

UniqueFd Bound(const sockaddr_in& address) {
    UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.valid() &&
        ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return UniqueFd();
    return socket;
}

struct Prober {
    UniqueFd socket;
    double lastSent_ms = -1e9;
    double pending_ms = -1; // when the request still unanswered went out
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 8) {
        std::fprintf(stderr, "usage: vocalyn_jpegflood TARGET KIND RATE SECONDS PROBE_ADDRESS... "
                             "RESERVE_ADDRESS\n");
        return 2;
    }
    const sockaddr_in video = Address(argv[1], 8800), signalling = Address(argv[1], 6767);
    const QByteArray file = FileOf(argv[2]);
    const long rate = std::strtol(argv[3], nullptr, 10);
    const long seconds = std::strtol(argv[4], nullptr, 10);
    if (video.sin_family != AF_INET || file.isEmpty() || rate <= 0 || seconds <= 0 ||
        std::size_t(file.size()) > vocalyn::video::kMaxVideoDatagram) {
        std::fprintf(stderr, "bad target, kind, rate or seconds\n");
        return 2;
    }
    std::vector<Prober> probers;
    for (int i = 5; i < argc; ++i) {
        const sockaddr_in own = Address(argv[i], 6767);
        Prober prober{own.sin_family == AF_INET ? Bound(own) : UniqueFd()};
        if (!prober.socket.valid()) {
            std::fprintf(stderr, "cannot take %s:6767\n", argv[i]);
            return 2;
        }
        probers.push_back(std::move(prober));
    }
    Prober& reserve = probers.back();
    const std::size_t regular = probers.size() - 1;

    // The flood, on a thread of its own: one datagram every 1/RATE seconds.
    std::atomic<double> floodEnd_ms{0};
    long sent = 0;
    std::thread flood([&] {
        const UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        const double start = Now_ms();
        for (long n = 0; n < rate * seconds; ++n) {
            const double due = start + double(n) * 1000.0 / double(rate);
            while (Now_ms() < due)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            if (::sendto(socket.get(), file.constData(), std::size_t(file.size()), 0,
                         reinterpret_cast<const sockaddr*>(&video), sizeof video) == file.size())
                ++sent;
        }
        floodEnd_ms = Now_ms();
    });

    const char request[] = "Calling|Probe";
    auto send = [&](Prober& prober) {
        prober.lastSent_ms = Now_ms();
        prober.pending_ms = prober.lastSent_ms;
        ::sendto(prober.socket.get(), request, sizeof request - 1, 0,
                 reinterpret_cast<const sockaddr*>(&signalling), sizeof signalling);
    };
    std::vector<double> delays;
    int probes = 0;
    double recovered_ms = -1, reserveSent_ms = -1;
    const double probeEvery_ms = double(kProbeSpacing_ms) / double(regular);
    double nextProbe_ms = Now_ms();
    std::size_t next = 0;
    const double start_ms = Now_ms();
    // Probe through the flood and up to 20 s after it, until a reply after it came in time.
    while (true) {
        const double now = Now_ms();
        const double end = floodEnd_ms.load();
        if (end > 0 && recovered_ms >= 0)
            break;
        if ((end > 0 && now - end > 20000) || now - start_ms > double(seconds) * 1000 + 60000)
            break;
        if (end > 0 && reserveSent_ms < 0) {
            send(reserve);
            reserveSent_ms = reserve.lastSent_ms;
            ++probes;
        }
        for (Prober& prober : probers)
            if (prober.pending_ms >= 0 && now - prober.pending_ms > kGiveUp_ms) {
                prober.pending_ms = -1; // never answered: counts as a probe without a reply
            }
        if (now >= nextProbe_ms) {
            Prober& prober = probers[next];
            if (prober.pending_ms < 0 && now - prober.lastSent_ms >= kProbeSpacing_ms) {
                send(prober);
                ++probes;
            }
            next = (next + 1) % regular;
            nextProbe_ms += probeEvery_ms;
        }
        std::vector<pollfd> fds;
        for (const Prober& prober : probers)
            fds.push_back({prober.socket.get(), POLLIN, 0});
        ::poll(fds.data(), fds.size(), 2);
        for (std::size_t i = 0; i < probers.size(); ++i) {
            char reply[2048];
            while (::recv(probers[i].socket.get(), reply, sizeof reply, 0) > 0) {
                const double at_ms = Now_ms();
                if (probers[i].pending_ms < 0)
                    continue; // a second reply to one request
                const double delay_ms = at_ms - probers[i].pending_ms;
                const double floodEndAt_ms = floodEnd_ms.load();
                if (floodEndAt_ms <= 0 || probers[i].pending_ms < floodEndAt_ms)
                    delays.push_back(delay_ms);
                else if (recovered_ms < 0 && delay_ms <= kInTime_ms)
                    recovered_ms = at_ms - floodEndAt_ms;
                probers[i].pending_ms = -1;
            }
        }
    }
    flood.join();
    std::sort(delays.begin(), delays.end());
    auto at = [&](double q) {
        return delays.empty() ? -1.0
                              : delays[std::min(delays.size() - 1, std::size_t(q * delays.size()))];
    };
    std::printf("sent=%ld bytes=%lld probes=%d answered=%zu p50_ms=%.1f p99_ms=%.1f max_ms=%.1f "
                "recovery_ms=%.0f\n",
                sent, static_cast<long long>(file.size()), probes, delays.size(), at(0.5), at(0.99),
                delays.empty() ? -1.0 : delays.back(), recovered_ms);
    return 0;
}
