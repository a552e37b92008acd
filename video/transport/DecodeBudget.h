#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>

namespace vocalyn::video {

// How much of the main thread the decoding of received video may take: a share of a sliding
// one-second window. The window is kept in buckets, so its state stays the same size whatever
// the datagram rate; work counts in the bucket where it ended, and a bucket counts until the
// whole of it has left the window.
class DecodeBudget {
public:
    using Clock = std::function<std::chrono::nanoseconds()>; // monotonic
    static constexpr std::chrono::nanoseconds kWindow = std::chrono::seconds(1);
    static constexpr int kBuckets = 20;

    // `now` reads the steady clock when empty; `share` of the window, from 0 to 1.
    explicit DecodeBudget(Clock now = {}, double share = 0.25);

    // Whether one more decode fits: the time spent in the window, plus the dearest decode in
    // it as a guess at the next one, stays within the share.
    bool Allows();
    // Counts `cost` of decoding that ends now.
    void Spend(std::chrono::nanoseconds cost);
    // What decoding has spent in the window that ends now.
    std::chrono::nanoseconds Spent();
    std::chrono::nanoseconds Now() const { return now_(); }
    std::chrono::nanoseconds allowance() const { return allowance_; }

    // Spends the time from its creation to its end.
    class Meter {
    public:
        explicit Meter(DecodeBudget& budget) : budget_(budget), start_(budget.Now()) {}
        ~Meter() { budget_.Spend(budget_.Now() - start_); }
        Meter(const Meter&) = delete;
        Meter& operator=(const Meter&) = delete;

    private:
        DecodeBudget& budget_;
        std::chrono::nanoseconds start_;
    };

private:
    struct Bucket {
        std::int64_t index = -1; // which bucket-wide slice of time it holds
        std::chrono::nanoseconds spent{0};
        std::chrono::nanoseconds dearest{0};
    };
    // Calls `visit` for each bucket inside the window that ends now.
    template <typename Visit> void ForWindow(Visit visit);
    static constexpr std::chrono::nanoseconds kBucketWidth = kWindow / kBuckets;

    Clock now_;
    std::chrono::nanoseconds allowance_;
    // One more than the window holds: the slice the window's start falls in still counts.
    std::array<Bucket, kBuckets + 1> buckets_{};
};

} // namespace vocalyn::video
