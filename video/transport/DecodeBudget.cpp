#include "video/transport/DecodeBudget.h"

#include <algorithm>

namespace vocalyn::video {

DecodeBudget::DecodeBudget(Clock now, double share)
    : now_(now ? std::move(now)
               : Clock([] { return std::chrono::steady_clock::now().time_since_epoch(); })),
      allowance_(std::chrono::duration_cast<std::chrono::nanoseconds>(
          kWindow * std::clamp(share, 0.0, 1.0))) {}

template <typename Visit> void DecodeBudget::ForWindow(Visit visit) {
    const std::int64_t current = Now() / kBucketWidth;
    for (const Bucket& bucket : buckets_)
        if (bucket.index >= current - kBuckets && bucket.index <= current)
            visit(bucket);
}

bool DecodeBudget::Allows() {
    std::chrono::nanoseconds spent{0}, dearest{0};
    ForWindow([&](const Bucket& bucket) {
        spent += bucket.spent;
        dearest = std::max(dearest, bucket.dearest);
    });
    // A decode that alone took more than the allowance must not shut decoding out for good:
    // once it has left the window, the next one may go.
    return allowance_.count() > 0 && spent + std::min(dearest, allowance_) <= allowance_;
}

void DecodeBudget::Spend(std::chrono::nanoseconds cost) {
    cost = std::max(cost, std::chrono::nanoseconds{0});
    const std::int64_t index = Now() / kBucketWidth;
    const auto slots = static_cast<std::int64_t>(buckets_.size());
    Bucket& bucket = buckets_[static_cast<std::size_t>((index % slots + slots) % slots)];
    if (bucket.index != index)
        bucket = {index, {}, {}};
    bucket.spent += cost;
    bucket.dearest = std::max(bucket.dearest, cost);
}

std::chrono::nanoseconds DecodeBudget::Spent() {
    std::chrono::nanoseconds spent{0};
    ForWindow([&](const Bucket& bucket) { spent += bucket.spent; });
    return spent;
}

} // namespace vocalyn::video
