#pragma once

#include "call/CallSession.h"

#include <QTimer>

namespace vocalyn {

// The call's timers on the Qt event loop: a single-shot QTimer owned elsewhere.
class QtCallTimer final : public call::CallTimer {
public:
    explicit QtCallTimer(QTimer& timer) : timer_(timer) { timer_.setSingleShot(true); }

    void Start(int interval_ms) override { timer_.start(interval_ms); }
    void Stop() override { timer_.stop(); }
    bool Active() const override { return timer_.isActive(); }
    int Interval() const override { return timer_.interval(); }

private:
    QTimer& timer_;
};

} // namespace vocalyn
