// Floods a test host's signalling port with the smallest call request, "Calling|", and counts
// the replies that come back: RATE requests per second (0: as fast as the socket takes them) for
// SECONDS, from the signalling port of every SOURCE address in turn (each one of this host's own
// addresses; none: the system's choice). Prints what went out and what came back.
//
//   vocalyn_request_flood ADDRESS SECONDS RATE [SOURCE...]
//
// Run it on a test host only (ip netns exec ...): ADDRESS must be one of the test addresses.
#include "net/UniqueFd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kSignallingPort = 6767;
constexpr char kRequest[] = "Calling|";
constexpr size_t kRequestSize = sizeof kRequest - 1;
constexpr long kSlice_ns = 1000000; // one burst per millisecond
constexpr long kDrain_ms = 300;     // replies still on their way when the flood ends

long Now_ms() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

struct Counts {
    long sent = 0, sentBytes = 0, failed = 0, replies = 0, replyBytes = 0;
};

void Drain(const std::vector<vocalyn::net::UniqueFd>& sockets, Counts& counts) {
    static char buffer[65536];
    for (const auto& socket : sockets) {
        for (;;) {
            const ssize_t size = ::recv(socket.get(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (size < 0)
                break;
            ++counts.replies;
            counts.replyBytes += size;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: vocalyn_request_flood ADDRESS SECONDS RATE [SOURCE...]\n");
        return 2;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kSignallingPort);
    if (::inet_pton(AF_INET, argv[1], &to.sin_addr) != 1) {
        std::fprintf(stderr, "not a dotted address: %s\n", argv[1]);
        return 2;
    }
    const long seconds = std::strtol(argv[2], nullptr, 10);
    const long rate = std::strtol(argv[3], nullptr, 10);
    if (seconds <= 0 || rate < 0)
        return 2;

    std::vector<vocalyn::net::UniqueFd> sockets;
    for (int i = 4; i < argc || (i == 4 && argc == 4); ++i) {
        vocalyn::net::UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        if (!socket.valid())
            return 1;
        // Replies go to the signalling port of the request's sender.
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_port = htons(kSignallingPort);
        const char* source = i < argc ? argv[i] : "0.0.0.0";
        if (::inet_pton(AF_INET, source, &from.sin_addr) != 1 ||
            ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0) {
            std::fprintf(stderr, "cannot send from %s\n", source);
            return 1;
        }
        sockets.push_back(std::move(socket));
    }

    Counts counts;
    const auto send = [&](long index) {
        const auto& socket = sockets[size_t(index) % sockets.size()];
        if (::sendto(socket.get(), kRequest, kRequestSize, 0,
                     reinterpret_cast<const sockaddr*>(&to), sizeof to) == ssize_t(kRequestSize)) {
            ++counts.sent;
            counts.sentBytes += long(kRequestSize);
        } else {
            ++counts.failed;
        }
    };

    const long start_ms = Now_ms();
    if (rate == 0) {
        for (long index = 0; Now_ms() - start_ms < seconds * 1000; ++index) {
            send(index);
            if (index % 256 == 0)
                Drain(sockets, counts);
        }
    } else {
        timespec next{};
        ::clock_gettime(CLOCK_MONOTONIC, &next);
        const long total = rate * seconds;
        long due = 0;
        for (long slice = 1; due < total; ++slice) {
            // Requests due by the end of this slice, so a late slice catches up.
            for (const long target = std::min(total, rate * slice / 1000); due < target; ++due)
                send(due);
            Drain(sockets, counts);
            next.tv_nsec += kSlice_ns;
            if (next.tv_nsec >= 1000000000) {
                next.tv_nsec -= 1000000000;
                ++next.tv_sec;
            }
            ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        }
    }
    const long elapsed_ms = Now_ms() - start_ms;
    for (const long end_ms = Now_ms() + kDrain_ms; Now_ms() < end_ms;) {
        Drain(sockets, counts);
        const timespec pause{0, kSlice_ns};
        ::nanosleep(&pause, nullptr);
    }
    std::printf("sent=%ld sent_bytes=%ld failed=%ld replies=%ld reply_bytes=%ld elapsed_ms=%ld\n",
                counts.sent, counts.sentBytes, counts.failed, counts.replies, counts.replyBytes,
                elapsed_ms);
    return 0;
}
