#include "tests/fakes/RecordingCallNotifier.h"

namespace vocalyn::fakes {

void RecordingCallNotifier::ShowIncoming(const QString& callerID, bool ringTonePlaying) {
    calls << QStringLiteral("show ") + callerID + (ringTonePlaying ? " silent" : "");
    showing_ = true;
}

void RecordingCallNotifier::Withdraw() {
    calls << QStringLiteral("withdraw");
    showing_ = false;
}

} // namespace vocalyn::fakes
