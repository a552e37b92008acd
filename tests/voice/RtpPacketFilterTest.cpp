#include "voice/gst/RtpPacketFilter.h"

#include <gtest/gtest.h>

#include <vector>

namespace vocalyn::voice {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr IPv4 kPeer = 0x7F000001;  // 127.0.0.1
constexpr IPv4 kOther = 0x7F000002; // 127.0.0.2

// Version 2, payload type 96, then sequence number, timestamp, SSRC.
Bytes Header(std::uint8_t first = 0x80, std::uint8_t second = 96) {
    return {first, second, 0, 1, 0, 0, 3, 0xC0, 0x12, 0x34, 0x56, 0x78};
}

Bytes operator+(Bytes bytes, const Bytes& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return bytes;
}

struct Row {
    const char* what;
    Bytes packet;
    bool wellFormed;
};

TEST(RtpPacketFilter, ChecksEveryLengthTheHeaderAnnounces) {
    const Bytes opus = {0x78, 0x01, 0x02}; // a TOC byte and two more
    const Row rows[] = {
        {"plain Opus packet", Header() + opus, true},
        {"marker bit set", Header(0x80, 0x80 | 96) + opus, true},
        {"header only", Header(), true},
        {"one byte short of a header", Bytes(11, 0x80), false},
        {"empty", {}, false},
        {"version 1", Header(0x40) + opus, false},
        {"version 3", Header(0xC0) + opus, false},
        {"payload type 97", Header(0x80, 97) + opus, false},
        {"payload type 0", Header(0x80, 0) + opus, false},
        {"two CSRCs present", Header(0x82) + Bytes(8, 0) + opus, true},
        {"two CSRCs announced, one present", Header(0x82) + Bytes(4, 0), false},
        {"fifteen CSRCs announced, none present", Header(0x8F) + opus, false},
        {"extension of one word", Header(0x90) + Bytes{0xBE, 0xDE, 0, 1, 1, 2, 3, 4} + opus, true},
        {"extension header cut", Header(0x90) + Bytes{0xBE, 0xDE}, false},
        {"extension claims 0xFFFF words", Header(0x90) + Bytes{0xBE, 0xDE, 0xFF, 0xFF} + opus,
         false},
        {"padding of two", Header(0xA0) + opus + Bytes{0, 2}, true},
        {"padding of zero", Header(0xA0) + opus + Bytes{0}, false},
        {"padding longer than the payload", Header(0xA0) + Bytes{0x78, 200}, false},
        {"CSRC, extension and padding together",
         Header(0xB1) + Bytes(4, 0) + Bytes{0, 0, 0, 0} + opus + Bytes{1}, true},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(IsWellFormedRtp(row.packet, kOpusPayloadType), row.wellFormed) << row.what;
        EXPECT_EQ(ShouldPlay(row.packet, kPeer, kPeer), row.wellFormed) << row.what;
    }
}

TEST(RtpPacketFilter, PlaysOnlyWhatComesFromThePeer) {
    const Bytes packet = Header() + Bytes{0x78, 0x01};
    EXPECT_TRUE(ShouldPlay(packet, kPeer, kPeer));
    EXPECT_FALSE(ShouldPlay(packet, kOther, kPeer));
    EXPECT_FALSE(ShouldPlay(packet, 0, kPeer)); // sender unknown
    EXPECT_FALSE(ShouldPlay(packet, 0, 0));     // no peer yet
    EXPECT_FALSE(ShouldPlay(packet, kPeer, 0));
}

Bytes FromStream(std::uint8_t ssrc) {
    Bytes packet = Header() + Bytes{0x78, 0x01};
    packet[11] = ssrc;
    return packet;
}

TEST(RtpPacketFilter, FollowsOneStreamUntilItFallsSilent) {
    StreamLatch latch;
    std::int64_t now_ms = 1000;
    EXPECT_TRUE(latch.Follows(FromStream(1), kPeer, now_ms));
    // Forged packets with other SSRCs, between the stream's own every 20 ms.
    for (int i = 0; i < 50; ++i) {
        now_ms += 10;
        EXPECT_FALSE(latch.Follows(FromStream(std::uint8_t(2 + i)), kPeer, now_ms));
        now_ms += 10;
        EXPECT_TRUE(latch.Follows(FromStream(1), kPeer, now_ms));
    }
    // The peer unmutes with a new stream: it waits until the old one has been silent long enough.
    EXPECT_FALSE(latch.Follows(FromStream(7), kPeer, now_ms + StreamLatch::kTakeover_ms - 1));
    EXPECT_TRUE(latch.Follows(FromStream(7), kPeer, now_ms + StreamLatch::kTakeover_ms));
    EXPECT_FALSE(latch.Follows(FromStream(1), kPeer, now_ms + StreamLatch::kTakeover_ms + 20));
    // Another peer (the next call) starts afresh; so does a packet too short to name a stream.
    EXPECT_TRUE(latch.Follows(FromStream(9), kOther, now_ms + StreamLatch::kTakeover_ms + 30));
    EXPECT_FALSE(latch.Follows(Bytes(11, 0x80), kOther, now_ms + 1000));
}

} // namespace
} // namespace vocalyn::voice
