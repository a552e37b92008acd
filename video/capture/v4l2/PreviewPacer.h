#pragma once

#include <algorithm>
#include <cstdint>

namespace vocalyn::video::v4l2 {

// Lets through at most one frame per preview period on average, never two
// within three quarters of one. A frame a little early still counts, so a
// camera running at the preview rate loses none to jitter.
class PreviewPacer {
public:
    void SetPeriod(int period_ms) { period_ms_ = period_ms > 0 ? period_ms : 0; }
    void Reset() { started_ = false; }

    bool Due(std::int64_t now_ms) {
        if (started_ && now_ms < due_ms_ - period_ms_ / 4)
            return false;
        // A late frame starts the schedule afresh, so frames never come in bursts.
        due_ms_ = (started_ ? std::max(due_ms_, now_ms) : now_ms) + period_ms_;
        started_ = true;
        return true;
    }

private:
    int period_ms_ = 0;
    std::int64_t due_ms_ = 0;
    bool started_ = false;
};

} // namespace vocalyn::video::v4l2
