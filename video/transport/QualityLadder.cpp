#include "video/transport/QualityLadder.h"

#include <algorithm>
#include <cmath>

namespace vocalyn::video {

namespace {

// Size ratios between neighbouring steps of the ladder as measured on noisy camera frames;
// only a start, each frame's sizes correct them.
constexpr std::array<double, QualityLadder::kSteps - 1> kStartRatios{
    0.80, 0.85, 0.88, 0.90, 0.91, 0.92, 0.93, 0.93, 0.86, 0.84, 0.78};

// How much of a ratio's measured error one frame corrects.
constexpr double kLearningRate = 0.5;

} // namespace

QualityLadder::QualityLadder(std::size_t limit)
    : logLimit_(std::log(static_cast<double>(std::max<std::size_t>(limit, 1)))) {
    for (std::size_t s = 0; s < gap_.size(); ++s)
        gap_[s] = -std::log(kStartRatios[s]);
}

void QualityLadder::SetLimit(std::size_t limit) {
    logLimit_ = std::log(static_cast<double>(std::max<std::size_t>(limit, 1)));
}

void QualityLadder::BeginFrame() {
    fit_ = over_ = lastStep_ = kNone;
}

double QualityLadder::Level(int step) const {
    double level = 0;
    for (int s = 0; s < step; ++s)
        level -= gap_[static_cast<std::size_t>(s)];
    return level;
}

double QualityLadder::PredictedSize(double size, int from, int to) const {
    return size * std::exp(Level(to) - Level(from));
}

int QualityLadder::NextStep() const {
    // Steps up to over_ are too long, steps from fit_ on fit: only those between are open.
    const int lowest = over_ + 1;
    const int highest = fit_ == kNone ? kSteps - 1 : fit_ - 1;
    if (lowest > highest)
        return kNone;
    if (!hasBase_)
        return lowest; // nothing measured yet: from the top
    int predicted = kSteps - 1;
    for (int s = lowest; s < kSteps; ++s)
        if (PredictedLog(s) <= logLimit_) {
            predicted = s;
            break;
        }
    if (fit_ != kNone && predicted >= fit_)
        return kNone; // nothing better is predicted to fit
    return std::clamp(predicted, lowest, highest);
}

void QualityLadder::Measured(int step, std::size_t size, bool exact) {
    if (step < 0 || step >= kSteps)
        return;
    const double measured = std::log(static_cast<double>(std::max<std::size_t>(size, 1)));
    if (exact && measured <= logLimit_)
        fit_ = fit_ == kNone ? step : std::min(fit_, step);
    else
        over_ = std::max(over_, step);
    // A stopped encode tells only that the file is longer: as a prediction, that is still
    // better than the last frame's size, but it says nothing about the ratios.
    if (exact) {
        if (lastStep_ != kNone && lastStep_ != step)
            Learn(lastStep_, lastLog_, step, measured);
        lastStep_ = step;
        lastLog_ = measured;
    }
    base_ = measured - Level(step);
    hasBase_ = true;
}

void QualityLadder::Learn(int from, double fromLog, int to, double toLog) {
    if (from > to) {
        std::swap(from, to);
        std::swap(fromLog, toLog);
    }
    const double predicted = Level(from) - Level(to);
    const double observed = fromLog - toLog;
    if (predicted <= 0)
        return;
    // The gaps between the two steps share the error in proportion to their size; one frame's
    // sizes may be off, so the correction is partial and bounded.
    const double factor = std::clamp(1 + kLearningRate * (observed / predicted - 1), 0.5, 2.0);
    for (int s = from; s < to; ++s) {
        double& gap = gap_[static_cast<std::size_t>(s)];
        gap = std::clamp(gap * factor, 0.005, 1.0);
    }
}

} // namespace vocalyn::video
