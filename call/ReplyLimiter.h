#pragma once

#include <QtGlobal>

#include <deque>
#include <functional>

namespace vocalyn::call {

// The steady clock in milliseconds: the call's clock unless a test gives another.
qint64 SteadyNow_ms();

// Decides whether an unanswered message may go out. A busy side answers every call request with
// its message, which can be two thousand times longer than the request: without a limit a
// stream of small requests with forged senders turns it into a flood aimed at a third computer.
// At most one reply a second goes to any one address, at most twenty a second in all, and at
// most kBytesInAll bytes a second in all (a message of 2047 multi-byte characters is about 6 KB,
// and twenty of them would still outweigh a flood of small requests). A real caller, who gets
// one reply per call, never meets the limit.
class ReplyLimiter {
public:
    using Clock = std::function<qint64()>; // milliseconds, never going back

    static constexpr qint64 kWindow_ms = 1000;
    static constexpr int kPerAddress = 1;
    static constexpr int kInAll = 20;
    static constexpr qint64 kBytesInAll = 32 * 1024;

    // By default the time comes from the system's steady clock.
    explicit ReplyLimiter(Clock clock = {});

    // True when a reply of `bytes` to `address` (IPv4, host byte order) may go out now; the
    // reply then counts against the limits.
    bool Allow(quint32 address, qint64 bytes = 0);

    // Replies still counted: those of the last second, never more than kInAll.
    int Remembered() const { return static_cast<int>(sent_.size()); }

private:
    struct Sent {
        qint64 at_ms;
        quint32 address;
        qint64 bytes;
    };

    Clock clock_;
    std::deque<Sent> sent_; // oldest first
};

} // namespace vocalyn::call
