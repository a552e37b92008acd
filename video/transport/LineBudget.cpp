#include "video/transport/LineBudget.h"

#include "video/transport/VideoDatagram.h"

#include <algorithm>
#include <cmath>

namespace vocalyn::video {

namespace {

constexpr std::size_t kUdpHeader = 8;
// Each picture moves the smoothed figures this much of the way: about five seconds at 30 per
// second; the budget shrinks at once, so a figure that wobbled would keep it small.
constexpr double kPictureWeight = 1.0 / 150;
// A longer pause is the peer's camera or call stopping, not loss.
constexpr std::int64_t kPause_us = 1'000'000;
// Pictures read closer together than this came in one burst.
constexpr std::int64_t kBurst_us = 5'000;
// Less loss than this is not told from a busy sender's skipped frames.
constexpr double kLeastPictureLoss = 0.01;
// Pictures that stop coming leave no figure behind.
constexpr std::int64_t kStale_us = 5'000'000;
// The share of pictures that should arrive whole. Fewer fragments per picture would save little
// more, at a visible cost in quality; more would lose pictures, and fill the kernel's store of
// incomplete datagrams with the fragments of the rest.
constexpr double kArriving = 0.9;
// Below this loss, pictures are not limited at all.
constexpr double kCleanLoss = 0.003;
// Growing back by one fragment takes this many pictures.
constexpr int kGrowthPictures = 10;

} // namespace

std::size_t FragmentsOf(std::size_t bytes) {
    return std::max<std::size_t>(1, (bytes + kUdpHeader + kFragmentPayload - 1) / kFragmentPayload);
}

double PictureArrivals::GapAt(int percent) const {
    std::array<std::int64_t, 31> gaps{};
    std::copy_n(gaps_.begin(), gapCount_, gaps.begin());
    const auto rank = gaps.begin() + long(gapCount_ * std::size_t(percent) / 100);
    std::nth_element(gaps.begin(), rank, gaps.begin() + long(gapCount_));
    return double(*rank);
}

void PictureArrivals::LearnFrameTime(std::int64_t gap) {
    // Gaps near the frame time refine it; those of lost pictures, and the short and long ones of a
    // picture read late, are left out. A short gap starts it: even when most pictures are lost,
    // one in ten gaps is a single frame time. When even the short gaps are long, or the long ones
    // short, the camera changed its rate, and the gaps start it anew.
    if (frame_us_ <= 0 || GapAt(10) > 1.5 * frame_us_ || GapAt(90) < 0.5 * frame_us_)
        frame_us_ = GapAt(10);
    else if (double(gap) > 0.5 * frame_us_ && double(gap) < 1.5 * frame_us_)
        frame_us_ += (double(gap) - frame_us_) / 16;
}

void PictureArrivals::Arrived(std::size_t bytes, std::int64_t now_us) {
    const std::int64_t gap = now_us - last_us_;
    const bool follows = started_ && gap >= 0 && gap < kPause_us;
    started_ = true;
    last_us_ = now_us;
    fragments_ += kPictureWeight * (double(FragmentsOf(bytes)) - fragments_);
    if (!follows) {
        slot_us_ = double(now_us);
        return;
    }
    // Pictures read together after a busy moment say nothing of the camera's frame time.
    if (gap >= kBurst_us) {
        gaps_[nextGap_] = gap;
        nextGap_ = (nextGap_ + 1) % gaps_.size();
        gapCount_ = std::min(gapCount_ + 1, gaps_.size());
    }
    if (gapCount_ < 8) {
        slot_us_ = double(now_us);
        return;
    }
    LearnFrameTime(gap);
    // Each picture takes the next of the camera's frame slots that its time points to; the slots
    // skipped are pictures lost. A picture read late may take a slot too far: the next one then
    // finds its own slot taken, and the one counted lost was only late.
    const double frame = std::max(frame_us_, 1000.0);
    const long steps = std::lround((double(now_us) - slot_us_) / frame);
    if (steps <= 0) {
        frameLoss_ = std::max(0.0, frameLoss_ - kPictureWeight);
        return;
    }
    for (long n = 1; n < std::min(steps, 10L); ++n)
        frameLoss_ += kPictureWeight * (1 - frameLoss_);
    frameLoss_ -= kPictureWeight * frameLoss_;
    slot_us_ += double(steps) * frame;
    // A picture on time keeps the slots in step with the sender's clock.
    if (steps == 1)
        slot_us_ += (double(now_us) - slot_us_) / 4;
}

double PictureArrivals::FragmentLoss(std::int64_t now_us) const {
    if (!started_ || now_us - last_us_ > kStale_us || frameLoss_ <= 0)
        return 0;
    const double loss = 1 - std::pow(1 - std::min(frameLoss_, 0.99), 1 / std::max(fragments_, 1.0));
    // A sender that skips a frame now and then when busy looks like a little loss.
    return loss < kLeastPictureLoss ? 0 : loss;
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
