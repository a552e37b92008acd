#pragma once

#include <QString>

#include <functional>

namespace vocalyn {

// Tells the desktop that a call is ringing, where the user looks even when the main window is
// covered or minimised. Every operation returns at once and never fails: a desktop without the
// service simply shows nothing.
class CallNotifier {
public:
    virtual ~CallNotifier() = default;

    // Announces an incoming call from `callerID` (as received, unchecked). A repeated call
    // replaces the announcement on screen. With `ringTonePlaying` the announcement stays
    // silent, so that the user's own ring tone is not doubled.
    virtual void ShowIncoming(const QString& callerID, bool ringTonePlaying) = 0;
    // Takes the announcement away; harmless when none is shown.
    virtual void Withdraw() = 0;

    // Runs on the GUI thread when the user chooses to answer from the announcement.
    std::function<void()> OnAnswer;
};

} // namespace vocalyn
