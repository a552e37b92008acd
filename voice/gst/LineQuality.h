#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vocalyn::voice {

// What the peer's voice packets tell about the line they came over: how many are lost, how much
// their arrival times wander (RFC 3550's interarrival jitter), and how long a jitter buffer must
// wait to have nearly all of them in time. There is no way back to the peer, so this side takes
// the line towards the peer to be alike. Pure arithmetic, not thread-safe.
class LineQuality {
public:
    // `clockRate`: the RTP timestamp's ticks per second.
    explicit LineQuality(int clockRate = 48000);

    // One packet of the stream `ssrc`, in the order it came; `arrival_us` on a steady clock.
    void Arrived(std::uint32_t ssrc, std::uint16_t sequence, std::uint32_t timestamp,
                 std::int64_t arrival_us);

    // The share of packets lost lately, 0 to 1; it follows a change within a few seconds.
    double loss() const { return loss_; }
    // When the last packet came (as given to Arrived); 0 before the first.
    std::int64_t lastArrival_us() const { return lastArrival_us_; }
    // RFC 3550's interarrival jitter, in milliseconds.
    double jitter_ms() const { return jitter_ / ticksPerMs_; }
    // How long after the earliest of the recent packets (relative to its timestamp) all but one in
    // a hundred of them came: what a jitter buffer has to wait. 0 before there is enough to say.
    double LateBound_ms() const;

    // The jitter buffer wait for the next while, from the `current` one, in steps of 5 ms and
    // between `floor` and `ceiling`. Only packets that the buffer itself found too late (`late`,
    // since the last call) raise it: at once, to what the recent packets needed. A sound card's
    // buffer absorbs the few milliseconds that a busy sender or receiver adds, so the bound alone
    // would wait longer than needed on a clean line. It comes down a step at a time: to the bound
    // when that falls, and below it once `quiet_s`, the time since the last late packet, reaches
    // twenty seconds.
    int NextWait_ms(int current, int floor, int ceiling, bool late, double quiet_s) const;

private:
    void Count(bool lost);
    void Restart(std::uint32_t ssrc, std::uint16_t sequence);

    double ticksPerMs_;
    bool started_ = false;
    std::uint32_t ssrc_ = 0;
    std::uint16_t highest_ = 0;
    // Which of the 64 sequence numbers up to highest_ have come; bit 0 is highest_ itself.
    std::uint64_t seen_ = 0;
    double loss_ = 0;
    std::int64_t lastArrival_us_ = 0;

    bool haveTransit_ = false;
    std::uint32_t timestampBase_ = 0;
    double transit_ = 0; // of the previous packet, in timestamp ticks
    double jitter_ = 0;  // in timestamp ticks

    // Recent transit times in milliseconds (arrival minus timestamp), newest at next_ - 1.
    static constexpr std::size_t kRecent = 500;
    std::array<double, kRecent> recent_{};
    std::size_t next_ = 0;
    std::size_t filled_ = 0;
};

} // namespace vocalyn::voice
