// How long a call takes to set up between two copies of the program on test hosts, with their
// real media terminals, test tones for microphones and the scripted camera: bounds a few times
// looser than what a quiet machine shows, so that only a set-up that takes whole seconds fails
// (bench/CallSetupBench.cpp measures it properly). Run through run_e2e.sh, which makes the hosts
// and always removes them.
#include "tests/e2e/CallSetupRig.h"

#include <gtest/gtest.h>

#include <functional>

using vocalyn::test::CallSetupRig;
using vocalyn::test::CallSetupTimes;
using vocalyn::test::SpreadOf;

namespace {

constexpr int kCalls = 3;
constexpr int kRing_ms = 400;

QString Prefix() {
    return qEnvironmentVariable("VOCALYN_NETNS_PREFIX");
}

// The median over the calls of one interval; -1 when any call missed it.
double Median(const std::vector<CallSetupTimes>& calls,
              const std::function<double(const CallSetupTimes&)>& interval) {
    std::vector<double> values;
    for (const CallSetupTimes& call : calls) {
        if (interval(call) < 0)
            return -1;
        values.push_back(interval(call));
    }
    return SpreadOf(values).median;
}

TEST(CallSetupE2E, RingsAtOnceAndSoundAndPictureFollowTheAnswerWithinBounds) {
    CallSetupRig rig(Prefix(), qEnvironmentVariable("VOCALYN_RTP_TOOL"));
    const QString problem = rig.Ready();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();

    std::vector<CallSetupTimes> calls;
    for (int i = 0; i < kCalls; ++i) {
        QString why;
        const std::optional<CallSetupTimes> call = rig.Call(kRing_ms, why);
        ASSERT_TRUE(call) << "call " << i << ": " << why.toStdString() << "\n"
                          << rig.alice().Errors().toStdString() << rig.bob().Errors().toStdString();
        calls.push_back(*call);
    }
    // Each interval was seen in every call, in order: a missing one fails as -1.
    EXPECT_GE(Median(calls, [](auto& c) { return c.ringing; }), 0);
    EXPECT_LE(Median(calls, [](auto& c) { return c.ringing; }), 50);
    EXPECT_GE(Median(calls, [](auto& c) { return c.accept; }), 0);
    EXPECT_LE(Median(calls, [](auto& c) { return c.accept; }), 500);
    for (auto sound : {&CallSetupTimes::soundAtBob, &CallSetupTimes::soundAtAlice}) {
        EXPECT_GE(Median(calls, [sound](auto& c) { return c.*sound; }), 0);
        EXPECT_LE(Median(calls, [sound](auto& c) { return c.*sound; }), 1200);
    }
    for (auto picture : {&CallSetupTimes::pictureAtBob, &CallSetupTimes::pictureAtAlice}) {
        EXPECT_GE(Median(calls, [picture](auto& c) { return c.*picture; }), 0);
        EXPECT_LE(Median(calls, [picture](auto& c) { return c.*picture; }), 800);
    }
    // After End nothing at all leaves that side: not a voice packet, not a picture.
    for (const CallSetupTimes& call : calls) {
        EXPECT_GE(call.aliceQuiet, 0);
        EXPECT_LE(call.aliceQuiet, 200);
        EXPECT_GE(call.bobQuiet, 0);
        EXPECT_LE(call.bobQuiet, 200);
    }
}

} // namespace
