#pragma once

#include <array>
#include <cstddef>

namespace vocalyn::video {

// Chooses the JPEG quality of each video frame from the file sizes its encodes measured: the
// best step of the ladder whose file fits the limit, in as few encodes as it can. Sizes in,
// steps out; it encodes nothing itself.
//
// Two things hold for camera frames: consecutive frames have much the same size at a quality,
// and the ratio of the sizes at two qualities changes little from frame to frame. So a frame is
// first tried at the best step that the last frame's size predicts to fit; each size measured
// corrects the prediction for the frame's other steps, and moves the search one way or the
// other; and two sizes of the same frame correct the ratios.
class QualityLadder {
public:
    static constexpr std::array<int, 12> kQualities{90, 85, 80, 75, 70, 65, 60, 55, 50, 40, 30, 20};
    static constexpr int kSteps = static_cast<int>(kQualities.size());
    static constexpr int kNone = -1;

    // `limit`: the longest file that fits, in bytes.
    explicit QualityLadder(std::size_t limit);

    // A new limit, from the next frame on; what was learnt of the sizes stays.
    void SetLimit(std::size_t limit);

    // Starts a frame: what was measured of the last one becomes the prediction.
    void BeginFrame();
    // The step to encode next (an index into kQualities); kNone once the frame is decided.
    int NextStep() const;
    // The frame's file at `step` is `size` bytes long; with `exact` false, the encode stopped
    // after `size` bytes and the file is longer.
    void Measured(int step, std::size_t size, bool exact = true);
    // The best step measured to fit this frame; kNone when none did (yet).
    int FittingStep() const { return fit_; }

    // The predicted size at step `to` of a file that is `size` bytes long at step `from`.
    double PredictedSize(double size, int from, int to) const;

private:
    // log(size) at step s is predicted as base_ + level_[s].
    double Level(int step) const;
    double PredictedLog(int step) const { return base_ + Level(step); }
    void Learn(int from, double fromLog, int to, double toLog);

    double logLimit_;
    // The decrease of log(size) from each step to the next; gap_[s] leads from s to s + 1.
    std::array<double, kSteps - 1> gap_;
    double base_ = 0; // the latest measured frame's log(size) at step 0, as predicted
    bool hasBase_ = false;
    // This frame: the best step that fits, the worst one that does not, and the last exact size.
    int fit_ = kNone;
    int over_ = kNone;
    int lastStep_ = kNone;
    double lastLog_ = 0;
};

} // namespace vocalyn::video
