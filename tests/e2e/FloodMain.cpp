// Floods a test host with random datagrams, half to the signalling port and half to the video
// port: RATE per second, in bursts every millisecond, for SECONDS; prints how many went out and
// how long that took.
//
//   vocalyn_flood ADDRESS SECONDS RATE_PER_SECOND
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
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kPorts[] = {6767, 8800};
constexpr long kSlice_ns = 1000000; // one burst per millisecond

// The start of a JPEG file, so that some datagrams get past the decoder's first checks.
constexpr unsigned char kJpegStart[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',
                                        'F',  0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01,
                                        0x00, 0x00, 0xFF, 0xDB, 0x00, 0x43, 0x00};

timespec Add(timespec time, long ns) {
    time.tv_nsec += ns;
    while (time.tv_nsec >= 1000000000) {
        time.tv_nsec -= 1000000000;
        ++time.tv_sec;
    }
    return time;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: vocalyn_flood ADDRESS SECONDS RATE_PER_SECOND\n");
        return 2;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    if (::inet_pton(AF_INET, argv[1], &to.sin_addr) != 1) {
        std::fprintf(stderr, "not a dotted address: %s\n", argv[1]);
        return 2;
    }
    const long seconds = std::strtol(argv[2], nullptr, 10);
    const long rate = std::strtol(argv[3], nullptr, 10);
    const vocalyn::net::UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket.valid() || seconds <= 0 || rate <= 0)
        return 2;

    std::mt19937 random(20240607);
    std::uniform_int_distribution<int> length(1, 1400), byte(0, 255), kind(0, 3);
    std::vector<unsigned char> payload(1400);
    const long total = rate * seconds;
    timespec start{}, next{}, end{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    next = start;
    long sent = 0, failed = 0, due = 0;
    for (long slice = 1; due < total; ++slice) {
        // Datagrams due by the end of this slice, so a late slice catches up.
        const long target = std::min(total, rate * slice / 1000);
        for (; due < target; ++due) {
            const int size = length(random);
            for (int i = 0; i < size; ++i)
                payload[i] = static_cast<unsigned char>(byte(random));
            const int port = kPorts[due % 2];
            if (port == 8800 && kind(random) == 0)
                std::memcpy(payload.data(), kJpegStart, std::min<size_t>(size, sizeof kJpegStart));
            to.sin_port = htons(static_cast<uint16_t>(port));
            if (::sendto(socket.get(), payload.data(), size_t(size), 0,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to) == size)
                ++sent;
            else
                ++failed;
        }
        next = Add(next, kSlice_ns);
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
    ::clock_gettime(CLOCK_MONOTONIC, &end);
    const long elapsed_ms =
        (end.tv_sec - start.tv_sec) * 1000 + (end.tv_nsec - start.tv_nsec) / 1000000;
    std::printf("sent=%ld failed=%ld elapsed_ms=%ld\n", sent, failed, elapsed_ms);
    return 0;
}
