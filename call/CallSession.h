#pragma once

#include "call/ReplyLimiter.h"
#include "call/SettingsFile.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

// The call as one state machine: events in (datagrams, buttons, timers, lookups), actions out
// through CallActions. No widgets, no event loop of its own; every event is handled to its end
// before the next one, so nothing can slip in between two steps of a transition.
namespace vocalyn::call {

enum class CallState {
    Idle = 1,
    LookingUp,      // call placed; the callee's name is being looked up
    Placing,        // request sent, waiting for an answer; repeated once a second
    Refused,        // the callee's message received and shown
    Ringing,        // an incoming call rings
    RingTimeOver,   // the ring time ran out; the call button still answers
    Answering,      // answered; the host field's name is being looked up
    InCallPlaced,   // in a call this side placed
    InCallAnswered, // in a call this side answered
};

const char* CallStateName(CallState state);

// A one-shot timer the session starts and stops; its owner calls the session when it fires.
class CallTimer {
public:
    virtual ~CallTimer() = default;
    // (Re)starts the timer to fire once after `interval_ms`.
    virtual void Start(int interval_ms) = 0;
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
    virtual int Interval() const = 0;
};

// A host lookup's outcome: the address (IPv4, host byte order) or the error text to show.
struct LookupResult {
    std::optional<quint32> address;
    QString error;
};

// What the session does to the world. None of these may run an event loop or call back into
// the session; the ones that can fail say so.
class CallActions {
public:
    virtual ~CallActions() = default;

    // One signalling datagram to `address`. Throws vocalyn::Error with the text to show.
    virtual void Send(quint32 address, const QByteArray& payload) = 0;
    // Looks `host` up away from the GUI thread; `done` runs later on it, never from inside.
    virtual void LookUp(const QString& host, std::function<void(const LookupResult&)> done) = 0;

    // Gets the voice path ready ahead of a likely call, so that the answer is not held up.
    virtual void PrepareVoice() = 0;
    // Creates and starts the call's voice link to `address`. Throws vocalyn::Error.
    virtual void StartVoice(quint32 address) = 0;
    // Stops and destroys the voice link, if any. Throws vocalyn::Error; the link is gone anyway.
    virtual void StopVoice() = 0;
    virtual void ToggleMute() = 0;
    virtual void StartVideo(quint32 address) = 0;
    virtual void StopVideo() = 0;

    // Opens and plays the ring tone from its start; the error text when it cannot, else empty.
    virtual QString PlayTone() = 0;
    // Stops the tone that PlayTone started; the file stays open.
    virtual void StopTone() = 0;
    // Closes the tone's file; harmless when none is open.
    virtual void CloseTone() = 0;

    // An incoming call: flash the window, put the caller's address in the host field and tell
    // the desktop (`tonePlaying`: the announcement need not make a sound of its own).
    virtual void Alert(quint32 caller, const QString& callerID, bool tonePlaying) = 0;
    // The desktop's announcement of the ringing call goes.
    virtual void WithdrawAlert() = 0;
    // The caller-ID line at the top of the window; empty clears it.
    virtual void ShowCallerLine(const QString& text) = 0;
    // The calling dialog: shown with "Calling..." and a rolling die, or the callee's message
    // with the die stopped, or closed.
    virtual void ShowCalling() = 0;
    virtual void ShowRefusal(const QString& text) = 0;
    virtual void CloseCallingDialog() = 0;

    // A short status text for the user (a tone that cannot play); empty clears it.
    virtual void ShowStatus(const QString& text) = 0;
    // An error box, shown after the current event; with `focusHost` the host field takes the
    // focus once the box is closed.
    virtual void ReportError(const QString& text, bool focusHost) = 0;
    // The state or the mute changed: the window draws its buttons again.
    virtual void Changed() = 0;
};

class CallSession {
public:
    static constexpr int kRepeatInterval_ms = 1000;
    // A caller gives up repeating its request after this long; its dialog stays up.
    static constexpr int kRepeatFor_ms = 30000;
    // An answer's "Accept" and a caller's "Cancel" go out this many times in all, this far
    // apart: a lost one costs the caller a second, or leaves the callee in a call with nobody.
    static constexpr int kEchoSends = 3;
    static constexpr int kEchoInterval_ms = 200;

    // `settings` are the held settings, read at each event; the timers fire into
    // RingTimerExpired and RepeatTimerExpired. All must outlive the session.
    CallSession(const CallSettings& settings, CallActions& actions, CallTimer& ringTimer,
                CallTimer& repeatTimer, ReplyLimiter::Clock clock = {});

    CallState State() const { return state_; }
    bool Busy() const;
    bool Ringing() const;
    bool InCall() const {
        return state_ == CallState::InCallPlaced || state_ == CallState::InCallAnswered;
    }
    bool Muted() const { return muted_; }
    // The peer of the call being placed, ringing or up, once known.
    std::optional<quint32> Peer() const { return peer_; }
    // Replaces the limit on unanswered messages, so that a test can give it a clock of its own.
    void setReplyLimiter(ReplyLimiter limiter) { replies_ = std::move(limiter); }

    // Events.
    void DatagramReceived(quint32 sender, const QByteArray& payload);
    // The call button with the host field's text: places a call, or answers a ringing one.
    void CallPressed(const QString& host);
    void CancelPressed();
    void EndPressed();
    void MutePressed();
    void RingTimerExpired();
    void RepeatTimerExpired();

private:
    void Enter(CallState state);
    void CallRequestReceived(quint32 sender, const QString& callerID);
    void Ring(quint32 caller, const QString& callerID);
    void AcceptReceived(quint32 sender);
    void CancelReceived(quint32 sender);
    void RefusalReceived(quint32 sender, const QString& text);
    void PlaceCall(const QString& host);
    void CallResolved(const LookupResult& result);
    void Answer(const QString& host);
    void AnswerResolved(const LookupResult& result);
    void SendRequest();
    void SendUnansweredMessage(quint32 to);
    void StopRinging();
    void CloseTone();
    void EndCall();
    void SendEchoed(quint32 to, const QByteArray& payload, bool reportFailure);
    void StartLookup(const QString& host, void (CallSession::*then)(const LookupResult&));

    // Limits the unanswered messages sent (busy replies and those at the end of the ring time).
    ReplyLimiter replies_;
    const CallSettings& settings_;
    CallActions& actions_;
    CallTimer& ringTimer_;
    CallTimer& repeatTimer_;
    ReplyLimiter::Clock clock_;

    CallState state_ = CallState::Idle;
    bool muted_ = false;
    bool toneOpen_ = false;
    std::optional<quint32> peer_;
    qint64 firstRequest_ms_ = 0;
    // The message that goes out again on the repeat timer, where, and how often still.
    QByteArray echo_;
    std::optional<quint32> echoTo_;
    int echoesLeft_ = 0;
    // A lookup's result counts only when its number is still the latest: Cancel or a new call
    // leave the old one to run out unheard.
    quint64 lookup_ = 0;
};

} // namespace vocalyn::call
