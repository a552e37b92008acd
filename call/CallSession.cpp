#include "call/CallSession.h"

#include "base/Error.h"
#include "base/Log.h"
#include "base/WireText.h"
#include "call/SignalMessage.h"
#include "net/DottedAddress.h"

namespace vocalyn::call {

const char* CallStateName(CallState state) {
    switch (state) {
    case CallState::Idle:
        return "Idle";
    case CallState::LookingUp:
        return "LookingUp";
    case CallState::Placing:
        return "Placing";
    case CallState::Refused:
        return "Refused";
    case CallState::Ringing:
        return "Ringing";
    case CallState::RingTimeOver:
        return "RingTimeOver";
    case CallState::Answering:
        return "Answering";
    case CallState::InCallPlaced:
        return "InCallPlaced";
    case CallState::InCallAnswered:
        return "InCallAnswered";
    }
    return "?";
}

CallSession::CallSession(const CallSettings& settings, CallActions& actions, CallTimer& ringTimer,
                         CallTimer& repeatTimer, ReplyLimiter::Clock clock)
    : replies_(clock), settings_(settings), actions_(actions), ringTimer_(ringTimer),
      repeatTimer_(repeatTimer), clock_(clock ? std::move(clock) : SteadyNow_ms) {}

bool CallSession::Busy() const {
    switch (state_) {
    case CallState::LookingUp:
    case CallState::Placing:
    case CallState::Refused:
    case CallState::Answering:
    case CallState::InCallPlaced:
    case CallState::InCallAnswered:
        return true;
    default:
        return false;
    }
}

bool CallSession::Ringing() const {
    return state_ == CallState::Ringing || state_ == CallState::RingTimeOver ||
           state_ == CallState::Answering || state_ == CallState::InCallAnswered;
}

void CallSession::Enter(CallState state) {
    state_ = state;
    actions_.Changed();
}

void CallSession::DatagramReceived(quint32 sender, const QByteArray& payload) {
    const SignalMessage message = ClassifySignal(payload);
    switch (message.kind) {
    case SignalKind::CallRequest:
        CallRequestReceived(sender, DecodeWireText(message.text));
        break;
    case SignalKind::Accept:
        AcceptReceived(sender);
        break;
    case SignalKind::Cancel:
        CancelReceived(sender);
        break;
    case SignalKind::Unanswered:
        RefusalReceived(sender, DecodeWireText(message.text));
        break;
    }
}

void CallSession::CallRequestReceived(quint32 sender, const QString& callerID) {
    const bool fromPeer = peer_ == sender;
    switch (state_) {
    case CallState::Idle:
        Ring(sender, callerID);
        return;
    case CallState::Ringing:
        // The caller repeats its request until it hears from us: the same call, nothing new.
        if (!fromPeer)
            Ring(sender, callerID);
        return;
    case CallState::RingTimeOver:
        // Our message did not reach the caller; it may this time.
        if (fromPeer)
            SendUnansweredMessage(sender);
        else
            Ring(sender, callerID);
        return;
    case CallState::Answering:
        if (fromPeer)
            return;
        break;
    case CallState::InCallAnswered:
        if (fromPeer) {
            // Our "Accept" was lost: the caller is still waiting for it.
            try {
                actions_.Send(sender, kAccept);
            } catch (...) {
                LogSwallowed(lcCall(), "sending the Accept again");
            }
            return;
        }
        break;
    default:
        break;
    }
    SendUnansweredMessage(sender);
}

void CallSession::Ring(quint32 caller, const QString& callerID) {
    peer_ = caller;
    Enter(CallState::Ringing);
    actions_.ShowCallerLine(callerID + QStringLiteral(" calling..."));
    // A ring time of 0 (or less) never runs out; a new caller does not restart a running one.
    if (settings_.RingTime <= 0)
        ringTimer_.Stop();
    else if (!ringTimer_.Active() || ringTimer_.Interval() != settings_.RingTime)
        ringTimer_.Start(settings_.RingTime);
    toneOpen_ = false;
    if (!settings_.RingTone.isEmpty()) {
        const QString problem = actions_.PlayTone();
        toneOpen_ = problem.isEmpty();
        if (!toneOpen_)
            actions_.ShowStatus(QStringLiteral("Ring tone unavailable: ") + problem);
    }
    actions_.Alert(caller, callerID, toneOpen_);
    actions_.PrepareVoice();
}

void CallSession::AcceptReceived(quint32 sender) {
    // Only the peer this side is calling may start a call: otherwise anyone on the network could
    // switch on the microphone and the camera with one datagram.
    if ((state_ != CallState::Placing && state_ != CallState::Refused) || peer_ != sender)
        return;
    repeatTimer_.Stop();
    Enter(CallState::InCallPlaced);
    actions_.CloseCallingDialog();
    actions_.StartVideo(sender);
    try {
        actions_.StartVoice(sender);
    } catch (...) {
        actions_.ReportError(CurrentExceptionText(), false);
    }
}

void CallSession::CancelReceived(quint32 sender) {
    if (peer_ != sender)
        return;
    switch (state_) {
    case CallState::Ringing:
    case CallState::RingTimeOver:
    case CallState::Answering:
        ++lookup_;
        StopRinging();
        peer_.reset();
        Enter(CallState::Idle);
        actions_.ShowCallerLine(QString());
        CloseTone();
        break;
    case CallState::InCallAnswered:
        // The caller gave up before our "Accept" reached it: nobody listens any more.
        EndCall();
        break;
    default:
        break;
    }
}

void CallSession::RefusalReceived(quint32 sender, const QString& text) {
    // Only the peer called may refuse: anyone else could put their own words in the dialog.
    if ((state_ != CallState::Placing && state_ != CallState::Refused) || peer_ != sender)
        return;
    repeatTimer_.Stop();
    Enter(CallState::Refused);
    actions_.ShowRefusal(text);
}

void CallSession::CallPressed(const QString& host) {
    switch (state_) {
    case CallState::Idle:
        PlaceCall(host);
        break;
    case CallState::Ringing:
    case CallState::RingTimeOver:
        Answer(host);
        break;
    default:
        break;
    }
}

void CallSession::StartLookup(const QString& host, void (CallSession::*then)(const LookupResult&)) {
    const quint64 number = ++lookup_;
    if (const std::optional<quint32> address = net::DottedAddress(host)) {
        (this->*then)(LookupResult{address, {}});
        return;
    }
    actions_.LookUp(host, [this, number, then](const LookupResult& result) {
        if (number == lookup_)
            (this->*then)(result);
    });
}

void CallSession::PlaceCall(const QString& host) {
    repeatTimer_.Stop();
    echoesLeft_ = 0;
    muted_ = false;
    Enter(CallState::LookingUp);
    actions_.ShowCalling();
    actions_.PrepareVoice();
    StartLookup(host, &CallSession::CallResolved);
}

void CallSession::CallResolved(const LookupResult& result) {
    if (state_ != CallState::LookingUp)
        return;
    QString problem = result.error;
    if (result.address) {
        peer_ = result.address;
        firstRequest_ms_ = clock_();
        try {
            SendRequest();
            Enter(CallState::Placing);
            repeatTimer_.Start(kRepeatInterval_ms);
            return;
        } catch (...) {
            problem = CurrentExceptionText();
        }
    }
    peer_.reset();
    Enter(CallState::Idle);
    actions_.CloseCallingDialog();
    actions_.ReportError(problem, true);
}

void CallSession::SendRequest() {
    actions_.Send(*peer_, CallRequestPayload(settings_.CallerID.toUtf8()));
}

void CallSession::RepeatTimerExpired() {
    repeatTimer_.Stop();
    if (state_ == CallState::Placing) {
        // A failed send may pass; the next repeat tries again.
        try {
            SendRequest();
        } catch (...) {
            LogSwallowed(lcCall(), "repeating the call request");
        }
        if (clock_() - firstRequest_ms_ + kRepeatInterval_ms <= kRepeatFor_ms)
            repeatTimer_.Start(kRepeatInterval_ms);
        return;
    }
    if (echoesLeft_ > 0 && echoTo_) {
        try {
            actions_.Send(*echoTo_, echo_);
        } catch (...) {
            LogSwallowed(lcCall(), "sending again");
        }
        if (--echoesLeft_ > 0)
            repeatTimer_.Start(kEchoInterval_ms);
    }
}

void CallSession::SendEchoed(quint32 to, const QByteArray& payload, bool reportFailure) {
    repeatTimer_.Stop();
    echo_ = payload;
    echoTo_ = to;
    echoesLeft_ = kEchoSends - 1;
    try {
        actions_.Send(to, payload);
    } catch (...) {
        if (reportFailure)
            actions_.ReportError(CurrentExceptionText(), false);
        else
            LogSwallowed(lcCall(), "sending");
    }
    repeatTimer_.Start(kEchoInterval_ms);
}

void CallSession::CancelPressed() {
    if (state_ != CallState::LookingUp && state_ != CallState::Placing &&
        state_ != CallState::Refused) {
        actions_.CloseCallingDialog();
        return;
    }
    ++lookup_;
    repeatTimer_.Stop();
    const std::optional<quint32> to = peer_;
    peer_.reset();
    Enter(CallState::Idle);
    actions_.CloseCallingDialog();
    if (to)
        SendEchoed(*to, kCancel, false);
}

void CallSession::Answer(const QString& host) {
    StopRinging();
    if (toneOpen_)
        actions_.StopTone();
    Enter(CallState::Answering);
    StartLookup(host, &CallSession::AnswerResolved);
}

void CallSession::AnswerResolved(const LookupResult& result) {
    if (state_ != CallState::Answering)
        return;
    if (!result.address) {
        // Still ringing: the user may correct the host and answer again.
        Enter(CallState::RingTimeOver);
        actions_.ReportError(result.error, true);
        return;
    }
    peer_ = result.address;
    muted_ = false;
    Enter(CallState::InCallAnswered);
    SendEchoed(*peer_, kAccept, true);
    actions_.StartVideo(*peer_);
    try {
        actions_.StartVoice(*peer_);
    } catch (...) {
        actions_.ReportError(CurrentExceptionText(), false);
    }
}

void CallSession::StopRinging() {
    ringTimer_.Stop();
    actions_.WithdrawAlert();
}

void CallSession::CloseTone() {
    if (!settings_.RingTone.isEmpty())
        actions_.CloseTone();
    toneOpen_ = false;
}

void CallSession::RingTimerExpired() {
    ringTimer_.Stop();
    if (state_ != CallState::Ringing)
        return;
    Enter(CallState::RingTimeOver);
    actions_.WithdrawAlert();
    actions_.ShowCallerLine(QString());
    if (toneOpen_)
        actions_.StopTone();
    // Until the caller's Cancel, the call button still answers.
    SendUnansweredMessage(*peer_);
}

void CallSession::SendUnansweredMessage(quint32 to) {
    // An empty datagram would only look like a read error to the receiver.
    if (settings_.Message.isEmpty())
        return;
    const QByteArray reply = settings_.Message.toUtf8();
    if (!replies_.Allow(to, reply.size()))
        return;
    try {
        actions_.Send(to, reply);
    } catch (...) {
        // Nobody waits on a refusal; a lost one is repeated when the caller asks again.
        LogSwallowed(lcCall(), "sending the unanswered message");
    }
}

void CallSession::EndPressed() {
    if (InCall())
        EndCall();
}

void CallSession::EndCall() {
    repeatTimer_.Stop();
    echoesLeft_ = 0;
    muted_ = false;
    peer_.reset();
    Enter(CallState::Idle);
    actions_.WithdrawAlert();
    actions_.ShowCallerLine(QString());
    actions_.StopVideo();
    try {
        actions_.StopVoice();
    } catch (...) {
        actions_.ReportError(CurrentExceptionText(), false);
    }
}

void CallSession::MutePressed() {
    if (!InCall())
        return;
    actions_.ToggleMute();
    muted_ = !muted_;
    actions_.Changed();
}

} // namespace vocalyn::call
