#include "video/transport/LineBudget.h"

#include "video/transport/VideoDatagram.h"

#include <algorithm>
#include <cmath>

namespace vocalyn::video {

namespace {

constexpr std::size_t kUdpHeader = 8;
// Each picture moves the smoothed figures this much of the way: about two seconds at 30 per second.
constexpr double kPictureWeight = 1.0 / 60;
// A longer pause is the peer's camera or call stopping, not loss.
constexpr std::int64_t kPause_us = 1'000'000;
// Pictures that stop coming leave no figure behind.
constexpr std::int64_t kStale_us = 5'000'000;
// The share of pictures that should arrive whole. Fewer fragments per picture would save little
// more, at a visible cost in quality; more would lose pictures, and fill the kernel's store of
// incomplete datagrams with the fragments of the rest.
constexpr double kArriving = 0.85;
// Below this loss, pictures are not limited at all.
constexpr double kCleanLoss = 0.003;
// Growing back by one fragment takes this many pictures.
constexpr int kGrowthPictures = 10;

} // namespace

std::size_t FragmentsOf(std::size_t bytes) {
    return std::max<std::size_t>(1, (bytes + kUdpHeader + kFragmentPayload - 1) / kFragmentPayload);
}

double PictureArrivals::FrameTime_us() const {
    // A low rank of the recent gaps: lost pictures only make gaps longer, late ones are few.
    std::array<std::int64_t, 31> gaps{};
    std::copy_n(gaps_.begin(), gapCount_, gaps.begin());
    const auto rank = gaps.begin() + long(gapCount_ / 4);
    std::nth_element(gaps.begin(), rank, gaps.begin() + long(gapCount_));
    return double(*rank);
}

void PictureArrivals::Arrived(std::size_t bytes, std::int64_t now_us) {
    const std::int64_t gap = now_us - last_us_;
    const bool follows = started_ && gap >= 0 && gap < kPause_us;
    started_ = true;
    last_us_ = now_us;
    fragments_ += kPictureWeight * (double(FragmentsOf(bytes)) - fragments_);
    if (!follows)
        return;
    gaps_[nextGap_] = gap;
    nextGap_ = (nextGap_ + 1) % gaps_.size();
    gapCount_ = std::min(gapCount_ + 1, gaps_.size());
    if (gapCount_ < 8)
        return;
    const double frame = std::max(FrameTime_us(), 1000.0);
    const long missing = std::clamp(std::lround(double(gap) / frame) - 1, 0L, 10L);
    for (long n = 0; n < missing; ++n)
        frameLoss_ += kPictureWeight * (1 - frameLoss_);
    frameLoss_ -= kPictureWeight * frameLoss_;
}

double PictureArrivals::fragmentLoss(std::int64_t now_us) const {
    if (!started_ || now_us - last_us_ > kStale_us || frameLoss_ <= 0)
        return 0;
    return 1 - std::pow(1 - std::min(frameLoss_, 0.99), 1 / std::max(fragments_, 1.0));
}

std::size_t PictureBudget::Next(double loss) {
    std::size_t target = kMaxVideoDatagram;
    if (loss >= kCleanLoss) {
        const double fragments = std::log(kArriving) / std::log1p(-std::min(loss, 0.5));
        target = std::min(kMaxVideoDatagram,
                          std::max<std::size_t>(1, std::size_t(fragments)) * kFragmentPayload -
                              kUdpHeader);
    }
    if (budget_ == 0 || target <= budget_) {
        budget_ = target;
        cleanFrames_ = 0;
    } else if (++cleanFrames_ >= kGrowthPictures) {
        budget_ = std::min(target, budget_ + kFragmentPayload);
        cleanFrames_ = 0;
    }
    return budget_;
}

} // namespace vocalyn::video
