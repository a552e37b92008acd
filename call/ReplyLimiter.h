#pragma once

#include <QtGlobal>

#include <deque>
#include <functional>

namespace vocalyn::call {

// Decides whether an unanswered message may go out. A busy side answers every call request with
// its message, which can be two thousand times longer than the request: without a limit a
// stream of small requests with forged senders turns it into a flood aimed at a third computer.
// At most one reply a second goes to any one address and at most twenty a second in all; a real
// caller, who gets one reply per call, never meets the limit.
class ReplyLimiter {
public:
    using Clock = std::function<qint64()>; // milliseconds, never going back

    static constexpr qint64 kWindow_ms = 1000;
    static constexpr int kPerAddress = 1;
    static constexpr int kInAll = 20;

    // By default the time comes from the system's steady clock.
    explicit ReplyLimiter(Clock clock = {});

    // True when a reply to `address` (IPv4, host byte order) may go out now; the reply then
    // counts against the limits.
    bool Allow(quint32 address);

    // Replies still counted: those of the last second, never more than kInAll.
    int Remembered() const { return static_cast<int>(sent_.size()); }

private:
    struct Sent {
        qint64 at_ms;
        quint32 address;
    };

    Clock clock_;
    std::deque<Sent> sent_; // oldest first
};

} // namespace vocalyn::call
