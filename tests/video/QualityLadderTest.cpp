#include "video/transport/QualityLadder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace vocalyn::video {
namespace {

constexpr std::size_t kLimit = 65507;
constexpr int kNone = QualityLadder::kNone;
constexpr int kSteps = QualityLadder::kSteps;

// The file sizes of one frame at every step.
using Sizes = std::vector<double>;

struct Outcome {
    int step = kNone;
    int encodes = 0;
};

// Runs the ladder over one frame as the writer does; every step is tried at most once.
Outcome RunFrame(QualityLadder& ladder, const Sizes& sizes) {
    ladder.BeginFrame();
    Outcome outcome;
    std::vector<bool> tried(kSteps);
    for (int step = ladder.NextStep(); step != kNone; step = ladder.NextStep()) {
        EXPECT_GE(step, 0);
        EXPECT_LT(step, kSteps);
        EXPECT_FALSE(tried[step]) << "step " << step << " tried twice";
        if (step < 0 || step >= kSteps || tried[step] || ++outcome.encodes > kSteps)
            break;
        tried[step] = true;
        ladder.Measured(step, static_cast<std::size_t>(sizes[step]));
    }
    outcome.step = ladder.FittingStep();
    return outcome;
}

int BestStep(const Sizes& sizes) {
    for (int s = 0; s < kSteps; ++s)
        if (sizes[s] <= kLimit)
            return s;
    return kNone;
}

// Sizes of a frame whose file at 90 is `top` bytes, falling from step to step by `ratios`.
Sizes Frame(double top, const std::vector<double>& ratios) {
    Sizes sizes{top};
    for (double ratio : ratios)
        sizes.push_back(sizes.back() * ratio);
    return sizes;
}

// Ratios a little away from the ladder's starting ones, as another camera gives.
const std::vector<double> kCameraRatios{0.84, 0.83, 0.90, 0.87, 0.93, 0.90,
                                        0.95, 0.91, 0.88, 0.81, 0.80};

TEST(QualityLadderTest, FirstFrameStartsAtTheTopAndStopsWhereItFits) {
    QualityLadder ladder(kLimit);
    const Outcome small = RunFrame(ladder, Frame(30000, kCameraRatios));
    EXPECT_EQ(small.step, 0);
    EXPECT_EQ(small.encodes, 1);

    QualityLadder fresh(kLimit);
    const Sizes large = Frame(90000, kCameraRatios);
    const Outcome first = RunFrame(fresh, large);
    EXPECT_EQ(first.step, BestStep(large));
    EXPECT_LE(first.encodes, 3);
    // The same frame again: straight to its step.
    EXPECT_EQ(RunFrame(fresh, large).encodes, 1);
}

// Frames whose size drifts up and down across several steps, with frame-to-frame jitter and
// ratios that wander a little: the step chosen is the best that fits nearly always, in little
// more than one encode a frame.
TEST(QualityLadderTest, DriftingFramesGoAtTheBestStepInAboutOneEncode) {
    for (const double jitter : {0.005, 0.02}) {
        SCOPED_TRACE(jitter);
        std::mt19937 random(11);
        std::normal_distribution<double> noise(0.0, jitter);
        QualityLadder ladder(kLimit);
        constexpr int kFrames = 600;
        int atBest = 0, encodes = 0;
        for (int n = 0; n < kFrames; ++n) {
            const double top = 85000 * (1 + 0.5 * std::sin(n * 0.02)) * (1 + noise(random));
            std::vector<double> ratios = kCameraRatios;
            for (double& ratio : ratios)
                ratio *= 1 + noise(random) / 4;
            const Sizes sizes = Frame(top, ratios);
            const Outcome outcome = RunFrame(ladder, sizes);
            ASSERT_TRUE(outcome.step == kNone || sizes[outcome.step] <= kLimit);
            atBest += outcome.step == BestStep(sizes);
            encodes += outcome.encodes;
        }
        EXPECT_GE(atBest, kFrames * 97 / 100);
        EXPECT_LE(encodes, kFrames * 12 / 10);
    }
}

TEST(QualityLadderTest, AFrameThatFitsNowhereIsGivenUpQuickly) {
    QualityLadder ladder(kLimit);
    const Sizes huge = Frame(4e6, kCameraRatios);
    const Outcome first = RunFrame(ladder, huge);
    EXPECT_EQ(first.step, kNone);
    EXPECT_LE(first.encodes, 2); // at 90, then the lowest step to be sure
    const Outcome next = RunFrame(ladder, huge);
    EXPECT_EQ(next.step, kNone);
    EXPECT_EQ(next.encodes, 1);

    // A small frame after them goes at 90 again, although the last size said otherwise.
    const Outcome small = RunFrame(ladder, Frame(20000, kCameraRatios));
    EXPECT_EQ(small.step, 0);
    EXPECT_LE(small.encodes, 3);
}

TEST(QualityLadderTest, RatiosAreLearntFromTwoSizesOfOneFrameOnly) {
    QualityLadder ladder(kLimit);
    const double start = ladder.PredictedSize(1000, 0, 1);
    // A stopped encode says nothing about the ratios.
    ladder.BeginFrame();
    ladder.Measured(0, 262144, false);
    ladder.Measured(1, 200000, false);
    EXPECT_DOUBLE_EQ(ladder.PredictedSize(1000, 0, 1), start);
    // Sizes of different frames neither.
    for (int n = 0; n < 3; ++n) {
        ladder.BeginFrame();
        ladder.Measured(n % 2, 50000 + 1000 * n);
    }
    EXPECT_DOUBLE_EQ(ladder.PredictedSize(1000, 0, 1), start);

    for (int n = 0; n < 12; ++n) {
        ladder.BeginFrame();
        ladder.Measured(0, 100000);
        ladder.Measured(1, 60000);
    }
    EXPECT_NEAR(ladder.PredictedSize(1000, 0, 1), 600, 5);
    EXPECT_NEAR(ladder.PredictedSize(600, 1, 0), 1000, 10);
    // Steps further down keep falling.
    EXPECT_LT(ladder.PredictedSize(1000, 0, 11), ladder.PredictedSize(1000, 0, 10));
}

// Sizes that contradict each other (a better quality smaller) still end every frame, never
// repeat a step, and never choose a step measured too long.
TEST(QualityLadderTest, ContradictorySizesEndEveryFrame) {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> size(20000, 120000);
    QualityLadder ladder(kLimit);
    for (int n = 0; n < 300; ++n) {
        Sizes sizes(kSteps);
        for (double& s : sizes)
            s = size(random);
        const Outcome outcome = RunFrame(ladder, sizes);
        ASSERT_LE(outcome.encodes, kSteps);
        if (outcome.step != kNone) {
            EXPECT_LE(sizes[outcome.step], kLimit);
        }
    }
}

} // namespace
} // namespace vocalyn::video
