// A jittery line for the Wi-Fi bench: run inside a test host, it takes every IP packet that host
// routes to its peer through a TUN device, holds each for a random time in [MIN, MAX] ms, so
// that later packets overtake earlier ones, and puts it out unchanged on the host's cable. IP
// fragments travel one by one, as on a real line; source addresses stay the host's, and the
// peer's own loss rule still applies when they arrive.
//
//   bench_jitter_relay TUN CABLE MIN_MS MAX_MS
//
// The TUN device must exist (ip tuntap add dev TUN mode tun) with a route to the peer through it.
// Runs until killed.
#include <linux/if.h>
#include <linux/if_tun.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int OpenTun(const char* name) {
    const int fd = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return -1;
    ifreq request{};
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    if (::ioctl(fd, TUNSETIFF, &request) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A raw socket that sends whole IP packets as they are, bound to the cable so that its packets
// do not take the route through the TUN device again.
int OpenCable(const char* name) {
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
    if (fd < 0)
        return -1;
    if (::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, name, socklen_t(std::strlen(name))) != 0) {
        ::close(fd);
        return -1;
    }
    // Up to a second of a video call's packets are in flight at once.
    const int buffer = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &buffer, sizeof buffer);
    return fd;
}

void Send(int cable, const std::vector<unsigned char>& packet) {
    if (packet.size() < sizeof(iphdr))
        return;
    iphdr header;
    std::memcpy(&header, packet.data(), sizeof header);
    if (header.version != 4)
        return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = header.daddr;
    if (::sendto(cable, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) < 0)
        std::perror("bench_jitter_relay: send");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s TUN CABLE MIN_MS MAX_MS\n", argv[0]);
        return 2;
    }
    const int min_us = std::atoi(argv[3]) * 1000;
    const int max_us = std::atoi(argv[4]) * 1000;
    if (min_us < 0 || max_us < min_us) {
        std::fprintf(stderr, "%s: want 0 <= MIN_MS <= MAX_MS\n", argv[0]);
        return 2;
    }
    const int tun = OpenTun(argv[1]);
    const int cable = OpenCable(argv[2]);
    if (tun < 0 || cable < 0) {
        std::perror(tun < 0 ? argv[1] : argv[2]);
        return 1;
    }
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> delay_us(min_us, max_us);
    std::multimap<Clock::time_point, std::vector<unsigned char>> due;
    std::vector<unsigned char> buffer(65536);
    for (;;) {
        const auto now = Clock::now();
        while (!due.empty() && due.begin()->first <= now) {
            Send(cable, due.begin()->second);
            due.erase(due.begin());
        }
        int wait_ms = -1;
        if (!due.empty())
            wait_ms =
                int(std::chrono::ceil<std::chrono::milliseconds>(due.begin()->first - now).count());
        pollfd ready{tun, POLLIN, 0};
        if (::poll(&ready, 1, wait_ms) <= 0)
            continue;
        // Everything waiting is taken at once, each packet with its own delay.
        for (;;) {
            const ssize_t size = ::read(tun, buffer.data(), buffer.size());
            if (size <= 0)
                break;
            due.emplace(Clock::now() + std::chrono::microseconds(delay_us(random)),
                        std::vector<unsigned char>(buffer.begin(), buffer.begin() + size));
            pollfd more{tun, POLLIN, 0};
            if (::poll(&more, 1, 0) <= 0)
                break;
        }
    }
}
