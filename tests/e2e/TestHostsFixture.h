#pragma once

#include <QString>

#include <gtest/gtest.h>

namespace vocalyn::test {

// A test that runs copies of the program on the test hosts that run_e2e.sh makes; skipped when
// it is run any other way.
class TestHostsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        prefix_ = qEnvironmentVariable("VOCALYN_NETNS_PREFIX");
        if (prefix_.isEmpty() || qEnvironmentVariable("VOCALYN_PEER").isEmpty())
            GTEST_SKIP() << "run through run_e2e.sh, which makes the test hosts";
    }

    // The network namespace of test host a, b or c.
    QString ns(const char* host) const { return prefix_ + QLatin1Char('-') + QLatin1String(host); }

    QString prefix_;
};

} // namespace vocalyn::test
