#include "call/ReplyLimiter.h"

#include <algorithm>
#include <chrono>

namespace vocalyn::call {

qint64 SteadyNow_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

ReplyLimiter::ReplyLimiter(Clock clock) : clock_(clock ? std::move(clock) : Clock(&SteadyNow_ms)) {}

bool ReplyLimiter::Allow(quint32 address, qint64 bytes) {
    const qint64 now = clock_();
    // Only replies sent count, so the memory stays at the last second's few.
    while (!sent_.empty() && now - sent_.front().at_ms >= kWindow_ms)
        sent_.pop_front();
    if (static_cast<int>(sent_.size()) >= kInAll)
        return false;
    const auto toAddress = std::count_if(sent_.begin(), sent_.end(), [address](const Sent& sent) {
        return sent.address == address;
    });
    if (toAddress >= kPerAddress)
        return false;
    qint64 bytesSent = 0;
    for (const Sent& sent : sent_)
        bytesSent += sent.bytes;
    if (bytesSent + bytes > kBytesInAll)
        return false;
    sent_.push_back({now, address, bytes});
    return true;
}

} // namespace vocalyn::call
