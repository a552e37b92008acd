#include "video/transport/LineBudget.h"

#include "video/transport/VideoDatagram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace vocalyn::video {
namespace {

// For each loss, the budget spans as many fragments as still let 90 % of the pictures through
// whole, and no fewer; below a trace of loss, pictures are not limited.
TEST(PictureBudget, SpansTheMostFragmentsThatMostlyArrive) {
    for (const double loss : {0.0, 0.001, 0.01, 0.02, 0.05, 0.1, 0.3}) {
        SCOPED_TRACE(loss);
        PictureBudget budget;
        const std::size_t bytes = budget.Next(loss);
        if (loss < 0.003) {
            EXPECT_EQ(bytes, kMaxVideoDatagram);
            continue;
        }
        const double fragments = double(FragmentsOf(bytes));
        EXPECT_EQ(FragmentsOf(bytes + 1), FragmentsOf(bytes) + 1) << "whole fragments";
        EXPECT_TRUE(fragments == 1 || std::pow(1 - loss, fragments) >= 0.9);
        EXPECT_LT(std::pow(1 - loss, fragments + 1), 0.9);
    }
}

// It shrinks at once when loss is seen, and grows back one fragment at a time once it is gone.
TEST(PictureBudget, ShrinksAtOnceAndGrowsBackSlowly) {
    PictureBudget budget;
    EXPECT_EQ(budget.Next(0), kMaxVideoDatagram);
    const std::size_t lossy = budget.Next(0.05);
    EXPECT_LT(lossy, 5000u);
    int frames = 0;
    std::size_t last = lossy;
    while (budget.Next(0) < kMaxVideoDatagram && frames < 10000) {
        const std::size_t now = budget.Next(0);
        EXPECT_LE(now, last + kFragmentPayload);
        last = now;
        frames += 2;
    }
    EXPECT_GT(frames, 300); // some ten seconds at 30 pictures per second
    EXPECT_LT(frames, 600);
    EXPECT_LT(budget.Next(0.05), 5000u);
}

// A 30-per-second stream of pictures whose fragments are lost at random, read a little early or
// late, and now and then one read 25 ms late together with the next (a busy receiver): the loss
// is found from the frame slots and the pictures' sizes; a pause is no loss, and a stream that
// stopped long ago says nothing. Then the camera halves its rate: that is no loss either.
TEST(PictureArrivals, FindsTheFragmentLossFromTheMissingFrames) {
    for (const double loss : {0.0, 0.02, 0.05, 0.1}) {
        for (const std::size_t bytes : {std::size_t{4000}, std::size_t{20000}}) {
            SCOPED_TRACE(testing::Message() << loss << " loss, " << bytes << " bytes");
            std::mt19937 random(7);
            std::bernoulli_distribution lost(loss);
            std::uniform_int_distribution<int> wobble(-3000, 3000);
            PictureArrivals arrivals;
            std::int64_t now = 0;
            std::int64_t read = 0; // pictures are read one after the other
            for (int frame = 0; frame < 900; ++frame) {
                now = frame * 33'333 + (frame >= 450 ? 3'000'000 : 0); // paused for three seconds
                bool whole = true;
                for (std::size_t n = 0; n < FragmentsOf(bytes); ++n)
                    whole = !lost(random) && whole;
                const int late = frame % 10 == 3 ? 25'000 : frame % 10 == 4 ? -8'000 : 0;
                read = std::max(read, now + late + wobble(random));
                if (whole)
                    arrivals.Arrived(bytes, read);
            }
            const double found = arrivals.FragmentLoss(now);
            // When most pictures are lost their gaps hide the frame time; enough loss still
            // shows to shrink the pictures, after which it is measured well.
            if (std::pow(1 - loss, double(FragmentsOf(bytes))) > 0.3)
                EXPECT_NEAR(found, loss, 0.004 + loss * 0.4);
            else
                EXPECT_GT(found, loss / 2);
            EXPECT_EQ(arrivals.FragmentLoss(now + 6'000'000), 0);
            if (loss > 0)
                continue;
            for (int frame = 1; frame <= 300; ++frame)
                arrivals.Arrived(bytes, now + frame * 66'667 + wobble(random));
            EXPECT_LT(arrivals.FragmentLoss(now + 300 * 66'667), 0.002);
        }
    }
}

} // namespace
} // namespace vocalyn::video
