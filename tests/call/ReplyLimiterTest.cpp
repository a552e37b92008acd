#include "call/ReplyLimiter.h"

#include <gtest/gtest.h>

namespace vocalyn::call {
namespace {

class ReplyLimiterTest : public ::testing::Test {
protected:
    qint64 now_ms_ = 1'000'000;
    ReplyLimiter limiter_{[this] { return now_ms_; }};
};

constexpr quint32 kCaller = 0x0A000001;

TEST_F(ReplyLimiterTest, OneReplyASecondToAnAddress) {
    EXPECT_TRUE(limiter_.Allow(kCaller));
    for (int i = 0; i < 100; ++i)
        EXPECT_FALSE(limiter_.Allow(kCaller));
    now_ms_ += 999;
    EXPECT_FALSE(limiter_.Allow(kCaller));
    now_ms_ += 1;
    EXPECT_TRUE(limiter_.Allow(kCaller));
    // Denied requests do not push the next reply further out.
    now_ms_ += 500;
    EXPECT_FALSE(limiter_.Allow(kCaller));
    now_ms_ += 500;
    EXPECT_TRUE(limiter_.Allow(kCaller));
}

TEST_F(ReplyLimiterTest, TwentyASecondInAllWhateverTheSenders) {
    // A thousand forged senders within one second get twenty replies between them.
    int allowed = 0;
    for (quint32 sender = 1; sender <= 1000; ++sender)
        allowed += limiter_.Allow(sender) ? 1 : 0;
    EXPECT_EQ(allowed, ReplyLimiter::kInAll);
    // A caller who has had no reply yet still waits for the second to pass.
    EXPECT_FALSE(limiter_.Allow(kCaller));
    now_ms_ += ReplyLimiter::kWindow_ms;
    EXPECT_TRUE(limiter_.Allow(kCaller));
}

TEST_F(ReplyLimiterTest, AFloodOverManySecondsKeepsTheRateAndTheMemoryBounded) {
    // Requests every millisecond for ten seconds from ever new senders, and from one caller.
    int allowed = 0, toCaller = 0;
    quint32 sender = 0x0B000000;
    for (int ms = 0; ms < 10'000; ++ms, ++now_ms_) {
        allowed += limiter_.Allow(++sender) ? 1 : 0;
        toCaller += limiter_.Allow(kCaller) ? 1 : 0;
        EXPECT_LE(limiter_.Remembered(), ReplyLimiter::kInAll);
    }
    EXPECT_EQ(allowed + toCaller, 10 * ReplyLimiter::kInAll);
    EXPECT_GE(toCaller, 1);
    EXPECT_LE(toCaller, 10);
    // A quiet second empties it.
    now_ms_ += ReplyLimiter::kWindow_ms;
    EXPECT_TRUE(limiter_.Allow(kCaller));
    EXPECT_EQ(limiter_.Remembered(), 1);
}

TEST(ReplyLimiterSteadyClockTest, WorksWithoutAClockOfItsOwn) {
    ReplyLimiter limiter;
    EXPECT_TRUE(limiter.Allow(kCaller));
    EXPECT_FALSE(limiter.Allow(kCaller));
    EXPECT_TRUE(limiter.Allow(kCaller + 1));
}

TEST_F(ReplyLimiterTest, LongMessagesAreCappedInBytesAsWell) {
    // Twenty replies of 6 KB would outweigh a thousand small requests a second.
    constexpr qint64 kLongest = 2047 * 3;
    int allowed = 0;
    for (quint32 sender = 1; sender <= 1000; ++sender)
        allowed += limiter_.Allow(sender, kLongest) ? 1 : 0;
    EXPECT_EQ(allowed, ReplyLimiter::kBytesInAll / kLongest);
    // One caller's reply of any length the settings allow still goes out after a quiet second.
    now_ms_ += ReplyLimiter::kWindow_ms;
    EXPECT_TRUE(limiter_.Allow(kCaller, kLongest));
    // Short messages are still held to twenty.
    now_ms_ += ReplyLimiter::kWindow_ms;
    allowed = 0;
    for (quint32 sender = 1; sender <= 1000; ++sender)
        allowed += limiter_.Allow(sender, 9) ? 1 : 0;
    EXPECT_EQ(allowed, ReplyLimiter::kInAll);
}

} // namespace
} // namespace vocalyn::call
