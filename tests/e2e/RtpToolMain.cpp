// Network tools for the voice end-to-end tests, run on a test host (ip netns exec HOST ...):
//
//   vocalyn_rtp_tool flood ADDRESS PACKETS RATE_PER_SECOND [SPOOF_ADDRESS]
//       sends PACKETS bad or foreign RTP datagrams to ADDRESS port 8500 at a steady rate: random
//       bytes, truncated headers, headers whose CSRC count, extension length or padding lie,
//       wrong payload types and well-formed Opus packets from thousands of SSRCs. With
//       SPOOF_ADDRESS they leave from that address and port 8500 (a raw socket), as if the peer's
//       terminal had sent them. Prints "sent N".
//   vocalyn_rtp_tool count PORT MILLISECONDS
//       counts the UDP datagrams this host sends from PORT on eth0 during MILLISECONDS and
//       prints "count N".
//   vocalyn_rtp_tool watch MILLISECONDS
//       prints "ready", then for each UDP datagram this host sends on eth0 during MILLISECONDS
//       a line "TIME_MS SOURCE_PORT DESTINATION_PORT" (CLOCK_MONOTONIC milliseconds).
//
// ADDRESS and SPOOF_ADDRESS must be test addresses (198.18.0.0/15); anything else is refused.
#include "net/UniqueFd.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using vocalyn::net::UniqueFd;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kVoicePort = 8500;

bool TestAddress(const char* text, in_addr& address) {
    // 198.18.0.0/15: the range set aside for benchmarking networks, which the test hosts use.
    return inet_pton(AF_INET, text, &address) == 1 &&
           (ntohl(address.s_addr) & 0xFFFE0000u) == 0xC6120000u;
}

double Now_s() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void SleepUntil(double when_s) {
    timespec until{};
    until.tv_sec = time_t(when_s);
    until.tv_nsec = long((when_s - double(until.tv_sec)) * 1e9);
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
}

// A well-formed RTP header (RFC 3550, 5.1) with payload type `type`.
Bytes Header(std::mt19937& random, int type, std::uint32_t ssrc) {
    Bytes packet(12);
    packet[0] = 0x80;
    packet[1] = std::uint8_t(type & 0x7F);
    const std::uint32_t sequence = random();
    const std::uint32_t timestamp = random();
    packet[2] = std::uint8_t(sequence >> 8);
    packet[3] = std::uint8_t(sequence);
    for (int i = 0; i < 4; ++i) {
        packet[4 + i] = std::uint8_t(timestamp >> (24 - 8 * i));
        packet[8 + i] = std::uint8_t(ssrc >> (24 - 8 * i));
    }
    return packet;
}

void AppendRandom(std::mt19937& random, Bytes& packet, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        packet.push_back(std::uint8_t(random()));
}

// The `index`th datagram of the flood; the kinds take turns.
Bytes FloodPacket(std::mt19937& random, std::uint64_t index) {
    Bytes packet;
    switch (index % 8) {
    case 0: // random bytes of any length a datagram may have here
        AppendRandom(random, packet, random() % 1400);
        break;
    case 1: // a header cut short
        packet = Header(random, 96, random());
        packet.resize(random() % 12);
        break;
    case 2: // announces up to 15 CSRCs but carries fewer
        packet = Header(random, 96, random());
        packet[0] |= 0x0F;
        AppendRandom(random, packet, random() % 56);
        break;
    case 3: // an extension header whose length runs past the end
        packet = Header(random, 96, random());
        packet[0] |= 0x10;
        packet.insert(packet.end(), {0xBE, 0xDE, 0xFF, 0xFF});
        AppendRandom(random, packet, random() % 100);
        break;
    case 4: // padding longer than the packet, or of length zero
        packet = Header(random, 96, random());
        packet[0] |= 0x20;
        AppendRandom(random, packet, random() % 40);
        packet.push_back(random() % 2 ? 0 : 255);
        break;
    case 5: // another payload type
        packet = Header(random, int(random() % 128) == 96 ? 97 : int(random() % 128), random());
        AppendRandom(random, packet, 20 + random() % 200);
        break;
    default: // well formed, payload type 96, from one of thousands of SSRCs, random Opus data
        packet = Header(random, 96, 0x10000 + random() % 5000);
        AppendRandom(random, packet, 1 + random() % 300);
        break;
    }
    return packet;
}

std::uint16_t Checksum(const std::uint8_t* data, std::size_t size) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        sum += std::uint32_t(data[i]) << 8 | data[i + 1];
    if (size % 2)
        sum += std::uint32_t(data[size - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return htons(std::uint16_t(~sum));
}

int Flood(const in_addr& target, long count, long rate, const in_addr* spoof) {
    const bool raw = spoof != nullptr;
    UniqueFd socket(raw ? ::socket(AF_INET, SOCK_RAW, IPPROTO_RAW)
                        : ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!socket.valid()) {
        std::perror("socket");
        return 1;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = target;
    to.sin_port = htons(kVoicePort);
    std::mt19937 random(20240607);
    long sent = 0;
    const double start_s = Now_s();
    for (long i = 0; i < count; ++i) {
        if (i % 16 == 0)
            SleepUntil(start_s + double(i) / double(rate));
        const Bytes payload = FloodPacket(random, std::uint64_t(i));
        Bytes datagram;
        if (raw) {
            // IPv4 and UDP headers of our own, sized once so that the pointers into them hold.
            datagram.resize(sizeof(iphdr) + sizeof(udphdr) + payload.size());
            auto* ip = reinterpret_cast<iphdr*>(datagram.data());
            ip->version = 4;
            ip->ihl = 5;
            ip->ttl = 64;
            ip->protocol = IPPROTO_UDP;
            ip->saddr = spoof->s_addr;
            ip->daddr = target.s_addr;
            auto* udp = reinterpret_cast<udphdr*>(datagram.data() + sizeof(iphdr));
            udp->source = htons(kVoicePort);
            udp->dest = htons(kVoicePort);
            udp->len = htons(std::uint16_t(sizeof(udphdr) + payload.size()));
            udp->check = 0; // optional over IPv4
            std::copy(payload.begin(), payload.end(),
                      datagram.begin() + sizeof(iphdr) + sizeof(udphdr));
            ip->tot_len = htons(std::uint16_t(datagram.size()));
            ip->check = Checksum(datagram.data(), sizeof(iphdr));
        }
        const Bytes& out = raw ? datagram : payload;
        if (::sendto(socket.get(), out.data(), out.size(), 0, reinterpret_cast<sockaddr*>(&to),
                     sizeof to) >= 0)
            ++sent;
    }
    std::printf("sent %ld\n", sent);
    return 0;
}

// A tap on everything this host sends on eth0, or an invalid descriptor after saying why.
UniqueFd TapOutgoing() {
    // Only a tap on every protocol sees what the host itself sends.
    UniqueFd socket(::socket(AF_PACKET, SOCK_DGRAM, htons(ETH_P_ALL)));
    if (!socket.valid()) {
        std::perror("packet socket");
        return socket;
    }
    sockaddr_ll cable{};
    cable.sll_family = AF_PACKET;
    cable.sll_protocol = htons(ETH_P_ALL);
    cable.sll_ifindex = int(if_nametoindex("eth0"));
    if (cable.sll_ifindex == 0 ||
        ::bind(socket.get(), reinterpret_cast<sockaddr*>(&cable), sizeof cable) != 0) {
        std::perror("bind to eth0");
        return UniqueFd();
    }
    return socket;
}

// Calls `seen(source port, destination port)` for each UDP datagram the host sends until
// `end_s`.
template <typename Seen> void ReadOutgoing(const UniqueFd& socket, double end_s, Seen seen) {
    std::uint8_t packet[2048];
    for (double left_s; (left_s = end_s - Now_s()) > 0;) {
        pollfd ready{socket.get(), POLLIN, 0};
        if (::poll(&ready, 1, int(left_s * 1000) + 1) <= 0)
            continue;
        sockaddr_ll from{};
        socklen_t fromSize = sizeof from;
        const ssize_t size = ::recvfrom(socket.get(), packet, sizeof packet, 0,
                                        reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (size < ssize_t(sizeof(iphdr)) || from.sll_pkttype != PACKET_OUTGOING ||
            from.sll_protocol != htons(ETH_P_IP))
            continue;
        const auto* ip = reinterpret_cast<const iphdr*>(packet);
        const std::size_t header = std::size_t(ip->ihl) * 4;
        if (ip->protocol != IPPROTO_UDP || ssize_t(header + sizeof(udphdr)) > size)
            continue;
        const auto* udp = reinterpret_cast<const udphdr*>(packet + header);
        seen(ntohs(udp->source), ntohs(udp->dest));
    }
}

int Count(int port, int duration_ms) {
    const UniqueFd socket = TapOutgoing();
    if (!socket.valid())
        return 1;
    long count = 0;
    ReadOutgoing(socket, Now_s() + duration_ms / 1000.0, [&](int source, int) {
        if (source == port)
            ++count;
    });
    std::printf("count %ld\n", count);
    return 0;
}

int Watch(int duration_ms) {
    const UniqueFd socket = TapOutgoing();
    if (!socket.valid())
        return 1;
    // Line by line: the reader may stop this tool at any time.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("ready\n");
    ReadOutgoing(socket, Now_s() + duration_ms / 1000.0, [](int source, int destination) {
        std::printf("%.3f %d %d\n", Now_s() * 1000.0, source, destination);
    });
    return 0;
}

int Usage() {
    std::fprintf(stderr, "usage: vocalyn_rtp_tool flood ADDRESS PACKETS RATE [SPOOF_ADDRESS]\n"
                         "       vocalyn_rtp_tool count PORT MILLISECONDS\n"
                         "       vocalyn_rtp_tool watch MILLISECONDS\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && argc <= 6 && std::string(argv[1]) == "flood") {
        in_addr target{};
        in_addr spoof{};
        const long count = std::atol(argv[3]);
        const long rate = std::atol(argv[4]);
        if (!TestAddress(argv[2], target) || (argc == 6 && !TestAddress(argv[5], spoof)) ||
            count < 0 || rate <= 0) {
            std::fprintf(stderr, "only test addresses (198.18.0.0/15) and positive rates\n");
            return 2;
        }
        return Flood(target, count, rate, argc == 6 ? &spoof : nullptr);
    }
    if (argc == 4 && std::string(argv[1]) == "count")
        return Count(std::atoi(argv[2]), std::atoi(argv[3]));
    if (argc == 3 && std::string(argv[1]) == "watch")
        return Watch(std::clamp(std::atoi(argv[2]), 0, 600000));
    return Usage();
}
