#include "video/DecodeBudget.h"

#include <algorithm>

namespace vocalyn::video {

DecodeBudget::DecodeBudget(Clock now, double share)
    : now_(now ? std::move(now)
               : Clock([] { return std::chrono::steady_clock::now().time_since_epoch(); })),
      allowance_(std::chrono::duration_cast<std::chrono::nanoseconds>(
          kWindow * std::clamp(share, 0.0, 1.0))) {}

bool DecodeBudget::Allows() {
    // A decode that alone took more than the allowance must not shut decoding out for good:
    // it is then let through whenever the window is empty.
    return Spent() + std::min(latest_, allowance_) <= allowance_ && allowance_.count() > 0;
}

void DecodeBudget::Spend(std::chrono::nanoseconds cost) {
    cost = std::max(cost, std::chrono::nanoseconds{0});
    latest_ = cost;
    const std::int64_t index = Now() / kBucketWidth;
    const auto slots = static_cast<std::int64_t>(buckets_.size());
    Bucket& bucket = buckets_[static_cast<std::size_t>((index % slots + slots) % slots)];
    if (bucket.index != index)
        bucket = {index, {}};
    bucket.spent += cost;
}

std::chrono::nanoseconds DecodeBudget::Spent() {
    const std::int64_t current = Now() / kBucketWidth;
    std::chrono::nanoseconds spent{0};
    for (const Bucket& bucket : buckets_)
        if (bucket.index >= current - kBuckets && bucket.index <= current)
            spent += bucket.spent;
    return spent;
}

} // namespace vocalyn::video
