#include "voice/gst/LineQuality.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

namespace vocalyn::voice {
namespace {

struct Packet {
    std::uint32_t ssrc;
    std::uint16_t sequence;
    std::uint32_t timestamp;
    std::int64_t arrival_us;
};

// 3000 packets of 20 ms at 48 kHz from sequence `first`; `shape` may drop, copy, delay or
// reorder them, and says when each arrives.
std::vector<Packet> Stream(std::uint16_t first,
                           const std::function<void(std::vector<Packet>&, std::mt19937&)>& shape) {
    std::vector<Packet> packets;
    for (int n = 0; n < 3000; ++n)
        packets.push_back({0x1234, std::uint16_t(first + n), 960u * std::uint32_t(n) + 77,
                           std::int64_t(n) * 20'000});
    std::mt19937 random(3);
    shape(packets, random);
    std::stable_sort(packets.begin(), packets.end(),
                     [](const Packet& a, const Packet& b) { return a.arrival_us < b.arrival_us; });
    return packets;
}

void DropEvery(std::vector<Packet>& packets, int every) {
    for (std::size_t n = packets.size(); n-- > 0;)
        if (n % std::size_t(every) == 5)
            packets.erase(packets.begin() + long(n));
}

// Arrival 20 to 60 ms after sending, at random: packets overtake one another.
void Wander(std::vector<Packet>& packets, std::mt19937& random) {
    std::uniform_int_distribution<int> delay_us(20'000, 60'000);
    for (Packet& packet : packets)
        packet.arrival_us += delay_us(random);
}

TEST(LineQuality, MeasuresLossJitterAndTheWaitFromWhatArrives) {
    struct Case {
        const char* what;
        std::uint16_t first;
        std::function<void(std::vector<Packet>&, std::mt19937&)> shape;
        double loss;
        double jitter_ms; // RFC 3550's, within 30 %
        double bound_ms;  // within 3 ms
    };
    const Case cases[] = {
        {"clean", 0, [](auto&, auto&) {}, 0, 0, 0},
        {"through the sequence's wrap", 64000, [](auto&, auto&) {}, 0, 0, 0},
        {"one in twenty lost", 9, [](auto& p, auto&) { DropEvery(p, 20); }, 0.05, 0, 0},
        {"one in a hundred lost", 9, [](auto& p, auto&) { DropEvery(p, 100); }, 0.01, 0, 0},
        {"every packet twice", 0,
         [](auto& p, auto&) {
             const std::vector<Packet> copy = p;
             for (Packet packet : copy)
                 p.push_back(
                     {packet.ssrc, packet.sequence, packet.timestamp, packet.arrival_us + 1000});
         },
         0, 0, 0},
        // Late is not lost: every packet overtaken by its neighbours still counts.
        {"20 to 60 ms late, reordered", 0, Wander, 0, 40.0 / 3, 39.6},
        {"a new stream halfway", 0,
         [](auto& p, auto&) {
             for (std::size_t n = 1500; n < p.size(); ++n) {
                 p[n].ssrc = 99;
                 p[n].sequence = std::uint16_t(p[n].sequence + 30000);
                 p[n].timestamp += 123456789;
             }
         },
         0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LineQuality line;
        for (const Packet& packet : Stream(c.first, c.shape))
            line.Arrived(packet.ssrc, packet.sequence, packet.timestamp, packet.arrival_us);
        EXPECT_NEAR(line.loss(), c.loss, 0.003 + c.loss * 0.3);
        EXPECT_NEAR(line.jitter_ms(), c.jitter_ms, 0.05 + c.jitter_ms * 0.3);
        EXPECT_NEAR(line.LateBound_ms(), c.bound_ms, 3);
    }
}

// The jitter buffer's wait: as short as allowed while no packet comes too late for it; up at
// once to what the wandering arrivals need when some do; down a step at a time to the bound when
// the arrivals settle, and below it only after a long quiet spell.
TEST(LineQuality, TheWaitFollowsLatePacketsUpAtOnceAndComesDownSlowly) {
    LineQuality line;
    std::mt19937 random(5);
    std::uniform_int_distribution<int> delay_us(20'000, 60'000);
    const auto send = [&](int from, int count, bool wander) {
        for (int n = from; n < from + count; ++n)
            line.Arrived(7, std::uint16_t(n), 960u * std::uint32_t(n),
                         std::int64_t(n) * 20'000 + (wander ? delay_us(random) : 0));
    };
    send(0, 600, true);
    EXPECT_EQ(line.NextWait_ms(5, 5, 200, false, 1), 5) << "nothing was late";
    const int wait_ms = line.NextWait_ms(5, 5, 200, true, 0);
    EXPECT_GE(wait_ms, 40);
    EXPECT_LE(wait_ms, 50);
    EXPECT_EQ(line.NextWait_ms(wait_ms, 5, 200, false, 1), wait_ms);
    EXPECT_EQ(line.NextWait_ms(5, 5, 30, true, 0), 30);
    EXPECT_EQ(line.NextWait_ms(wait_ms, 5, 200, true, 0), wait_ms + 5) << "late even so";
    EXPECT_EQ(line.NextWait_ms(wait_ms, 5, 200, false, 25), wait_ms - 5);
    send(600, 600, false);
    EXPECT_EQ(line.NextWait_ms(wait_ms, 5, 200, false, 1), wait_ms - 5);
    EXPECT_EQ(line.NextWait_ms(10, 5, 200, false, 1), 5);
    EXPECT_EQ(line.NextWait_ms(10, 20, 200, false, 1), 20);
    EXPECT_EQ(line.NextWait_ms(5, 5, 200, true, 0), 10) << "late on a steady line";
}

} // namespace
} // namespace vocalyn::voice
