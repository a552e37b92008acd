#pragma once

#include "app/CallNotifier.h"

#include <QStringList>

namespace vocalyn::fakes {

// Records the announcements the call flow asks for, as lines: "show ID" or "show ID silent",
// and "withdraw".
class RecordingCallNotifier : public CallNotifier {
public:
    void ShowIncoming(const QString& callerID, bool ringTonePlaying) override;
    void Withdraw() override;

    // True between a show and the next withdraw.
    bool Showing() const { return showing_; }

    QStringList calls;

private:
    bool showing_ = false;
};

} // namespace vocalyn::fakes
