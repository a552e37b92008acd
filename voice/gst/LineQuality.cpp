#include "voice/gst/LineQuality.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace vocalyn::voice {

namespace {

// Each packet moves the loss figure this much of the way: about five seconds of 20 ms packets,
// so that the figure holds steady enough for the pictures' budget to follow it.
constexpr double kLossWeight = 1.0 / 250;
// A jump further than this is a new start of the peer's stream, not loss (two seconds of packets).
constexpr int kLongestGap = 100;
// The buffer's wait moves in steps of this, so that it is not set again for every wobble.
constexpr int kWaitStep_ms = 5;
// Waking and handing a packet on costs the jitter buffer itself a little beyond the bound.
constexpr double kWaitMargin_ms = 2;
// Without a late packet for this long, the wait tries a step below the bound.
constexpr double kQuietBeforeBelowBound_s = 20;

} // namespace

LineQuality::LineQuality(int clockRate) : ticksPerMs_(std::max(clockRate, 1) / 1000.0) {}

void LineQuality::Count(bool lost) {
    loss_ += kLossWeight * ((lost ? 1.0 : 0.0) - loss_);
}

void LineQuality::Restart(std::uint32_t ssrc, std::uint16_t sequence) {
    started_ = true;
    ssrc_ = ssrc;
    highest_ = sequence;
    seen_ = 1;
    // Timestamps of a new stream start anywhere: the transit times so far say nothing about it.
    haveTransit_ = false;
    filled_ = next_ = 0;
}

void LineQuality::Arrived(std::uint32_t ssrc, std::uint16_t sequence, std::uint32_t timestamp,
                          std::int64_t arrival_us) {
    lastArrival_us_ = arrival_us;
    const int ahead = static_cast<std::int16_t>(static_cast<std::uint16_t>(sequence - highest_));
    if (!started_ || ssrc != ssrc_ || std::abs(ahead) > kLongestGap) {
        Restart(ssrc, sequence);
        Count(false);
    } else if (ahead > 0) {
        for (int missing = 1; missing < ahead; ++missing)
            Count(true);
        Count(false);
        seen_ = ahead >= 64 ? 1 : (seen_ << ahead) | 1;
        highest_ = sequence;
    } else {
        const std::uint64_t bit = -ahead < 64 ? std::uint64_t{1} << -ahead : 0;
        if (!bit || (seen_ & bit))
            return; // a copy, or too old to tell
        // Counted lost when the ones after it came; it was only late.
        seen_ |= bit;
        loss_ = std::max(0.0, loss_ - kLossWeight);
    }

    // Transit times are only compared with each other, so the clocks' origins do not matter; the
    // timestamp counts from the stream's first, which lasts twelve hours at 48 kHz before it wraps.
    const double arrival = double(arrival_us) * ticksPerMs_ / 1000.0;
    if (!haveTransit_)
        timestampBase_ = timestamp;
    const double transit = arrival - double(static_cast<std::int32_t>(timestamp - timestampBase_));
    if (haveTransit_)
        jitter_ += (std::abs(transit - transit_) - jitter_) / 16;
    transit_ = transit;
    haveTransit_ = true;
    recent_[next_] = transit / ticksPerMs_;
    next_ = (next_ + 1) % kRecent;
    filled_ = std::min(filled_ + 1, kRecent);
}

double LineQuality::LateBound_ms() const {
    if (filled_ < 20)
        return 0;
    std::vector<double> transits(recent_.begin(), recent_.begin() + long(filled_));
    const double earliest = *std::min_element(transits.begin(), transits.end());
    const auto rank = transits.begin() + long((transits.size() - 1) * 99 / 100);
    std::nth_element(transits.begin(), rank, transits.end());
    return *rank - earliest;
}

int LineQuality::NextWait_ms(int current, int floor, int ceiling, bool late, double quiet_s) const {
    const double needed = LateBound_ms() + kWaitMargin_ms;
    const int steps = static_cast<int>(std::ceil(needed / kWaitStep_ms));
    const int bound = std::clamp(steps * kWaitStep_ms, floor, ceiling);
    current = std::clamp(current, floor, ceiling);
    if (late)
        return std::min(ceiling, std::max(bound, current + kWaitStep_ms));
    if (bound < current || quiet_s >= kQuietBeforeBelowBound_s)
        return std::max(floor, std::max(bound < current ? bound : floor, current - kWaitStep_ms));
    return current;
}

} // namespace vocalyn::voice
