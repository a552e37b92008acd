// The call's state machine alone: events in, actions recorded, timers and clock in the test's
// hand. No windows, no sockets.
#include "call/CallSession.h"
#include "base/Error.h"
#include "net/DottedAddress.h"

#include <QRegularExpression>
#include <QStringList>
#include <gtest/gtest.h>

using namespace vocalyn;
using namespace vocalyn::call;

namespace {

class FakeTimer final : public CallTimer {
public:
    void Start(int interval_ms) override {
        active = true;
        this->interval_ms = interval_ms;
    }
    void Stop() override { active = false; }
    bool Active() const override { return active; }
    int Interval() const override { return interval_ms; }
    bool active = false;
    int interval_ms = 0;
};

// Records every action as one line; lookups wait until the test answers them.
class RecordingActions final : public CallActions {
public:
    void Send(quint32 to, const QByteArray& payload) override {
        log << "send " + net::DottedText(to) + " " + QString::fromUtf8(payload);
    }
    void LookUp(const QString& host, std::function<void(const LookupResult&)> done) override {
        log << "lookup " + host;
        lookups.push_back(std::move(done));
    }
    void PrepareVoice() override {}
    void StartVoice(quint32 to) override {
        log << "voice " + net::DottedText(to);
        if (voiceFails)
            throw Error(QStringLiteral("no terminal"));
    }
    void StopVoice() override { log << "voice off"; }
    void ToggleMute() override { log << "mute"; }
    void StartVideo(quint32 to) override { log << "video " + net::DottedText(to); }
    void StopVideo() override { log << "video off"; }
    QString PlayTone() override {
        log << "tone play";
        return toneProblem;
    }
    void StopTone() override { log << "tone stop"; }
    void CloseTone() override { log << "tone close"; }
    void Alert(quint32 caller, const QString& id, bool tone) override {
        log << QStringLiteral("alert %1 %2 %3").arg(net::DottedText(caller), id).arg(tone);
    }
    void WithdrawAlert() override {}
    void ShowCallerLine(const QString& text) override { log << "line " + text; }
    void ShowCalling() override { log << "dialog calling"; }
    void ShowRefusal(const QString& text) override { log << "dialog " + text; }
    void CloseCallingDialog() override { log << "dialog closed"; }
    void ShowStatus(const QString& text) override { log << "status " + text; }
    void ReportError(const QString& text, bool focusHost) override {
        log << QStringLiteral("error %1 %2").arg(text).arg(focusHost);
    }
    void Changed() override {}

    QStringList log;
    std::vector<std::function<void(const LookupResult&)>> lookups;
    QString toneProblem;
    bool voiceFails = false;
};

constexpr quint32 kBob = 0xC6120002;   // 198.18.0.2
constexpr quint32 kCarol = 0xC6120003; // 198.18.0.3

struct Case {
    const char* name;
    // Steps, one word each: "req" and "req-carol" (call requests), "accept", "accept-carol",
    // "cancel", "refuse" (from Bob unless named), "call" (the call button, host "bobs-pc"),
    // "answer" (the call button, host "198.18.0.2"), "found", "notfound" (the pending lookup's
    // answer), "end", "cancel-button", "ring-out", "repeat" (the repeat timer fires), "tone-fails",
    // "voice-fails", "later" (a second passes).
    QStringList steps;
    CallState state;
    // Lines the log must hold from the last step on, in order (other lines may come between).
    QStringList tail;
    // Lines that must not appear after the last step.
    QStringList never = {};
    // Datagrams sent in all, when it matters.
    int sends = -1;
};

class CallSessionTest : public ::testing::TestWithParam<Case> {};

void RunSteps(const QStringList& steps, CallSession& session, RecordingActions& actions,
              FakeTimer& ring, FakeTimer& repeat, qint64& now, qsizetype& lastStepAt) {
    for (const QString& step : steps) {
        lastStepAt = actions.log.size();
        if (step == "req")
            session.DatagramReceived(kBob, "Calling|Bob");
        else if (step == "req-carol")
            session.DatagramReceived(kCarol, "Calling|Carol");
        else if (step == "accept")
            session.DatagramReceived(kBob, "Accept");
        else if (step == "accept-carol")
            session.DatagramReceived(kCarol, "Accept");
        else if (step == "cancel")
            session.DatagramReceived(kBob, "Cancel");
        else if (step == "refuse")
            session.DatagramReceived(kBob, "Bob is out");
        else if (step == "call")
            session.CallPressed(QStringLiteral("bobs-pc"));
        else if (step == "answer")
            session.CallPressed(QStringLiteral("198.18.0.2"));
        else if (step == "found" || step == "notfound") {
            ASSERT_FALSE(actions.lookups.empty());
            auto done = std::move(actions.lookups.back());
            actions.lookups.pop_back();
            done(step == "found" ? LookupResult{kBob, {}} : LookupResult{{}, "Socket Error"});
        } else if (step == "end")
            session.EndPressed();
        else if (step == "cancel-button")
            session.CancelPressed();
        else if (step == "ring-out" && ring.active)
            session.RingTimerExpired();
        else if (step == "repeat" && repeat.active) {
            now += repeat.interval_ms;
            session.RepeatTimerExpired();
        } else if (step == "tone-fails")
            actions.toneProblem = QStringLiteral("cannot open");
        else if (step == "voice-fails")
            actions.voiceFails = true;
        else if (step == "later")
            now += 1000;
    }
}

TEST_P(CallSessionTest, Transitions) {
    const Case& c = GetParam();
    const CallSettings settings{QStringLiteral("ring.wav"), 10000, QStringLiteral("Away"),
                                QStringLiteral("Me")};
    RecordingActions actions;
    FakeTimer ring;
    FakeTimer repeat;
    qint64 now = 0;
    CallSession session(settings, actions, ring, repeat, [&now] { return now; });
    qsizetype lastStepAt = 0;
    RunSteps(c.steps, session, actions, ring, repeat, now, lastStepAt);
    EXPECT_STREQ(CallStateName(session.State()), CallStateName(c.state));
    const QStringList after = actions.log.mid(lastStepAt);
    qsizetype at = 0;
    for (const QString& line : c.tail) {
        at = after.indexOf(line, at);
        ASSERT_GE(at, 0) << "missing " << line.toStdString() << " in "
                         << after.join(" | ").toStdString();
    }
    if (c.sends >= 0) {
        EXPECT_EQ(actions.log.filter(QRegularExpression("^send ")).size(), c.sends)
            << actions.log.join(" | ").toStdString();
    }
    for (const QString& line : c.never)
        EXPECT_FALSE(after.contains(line))
            << line.toStdString() << " in " << after.join(" | ").toStdString();
}

QStringList Repeated(const QString& step, int times) {
    QStringList steps;
    for (int i = 0; i < times; ++i)
        steps << step;
    return steps;
}

// clang-format off
const Case kCases[] = {
    {"RequestRings", {"req"}, CallState::Ringing,
     {"line Bob calling...", "tone play", "alert 198.18.0.2 Bob 1"}},
    {"RepeatedRequestChangesNothing", {"req", "req"}, CallState::Ringing, {},
     {"tone play", "alert 198.18.0.2 Bob 1", "line Bob calling..."}},
    {"AnotherCallerReplacesTheRinging", {"req", "req-carol"}, CallState::Ringing,
     {"line Carol calling...", "tone play", "alert 198.18.0.3 Carol 1"}},
    {"AnswerSendsAcceptAndStartsTheCall", {"req", "answer"}, CallState::InCallAnswered,
     {"tone stop", "send 198.18.0.2 Accept", "video 198.18.0.2", "voice 198.18.0.2"}},
    {"AcceptGoesOutThreeTimes", {"req", "answer", "repeat", "repeat", "repeat"},
     CallState::InCallAnswered, {}, {"send 198.18.0.2 Accept"}, 3},
    {"LostAcceptIsSentAgainToTheCaller", {"req", "answer", "req"}, CallState::InCallAnswered,
     {"send 198.18.0.2 Accept"}, {}, 2},
    {"OthersGetTheBusyReplyDuringACall", {"req", "answer", "req-carol"}, CallState::InCallAnswered,
     {"send 198.18.0.3 Away"}},
    {"CancelAfterAnAnswerEndsTheCall", {"req", "answer", "cancel"}, CallState::Idle,
     {"video off", "voice off"}},
    {"ToneThatCannotPlayIsAStatusAndTheAnswerStillGoes", {"tone-fails", "req", "answer"},
     CallState::InCallAnswered, {"send 198.18.0.2 Accept", "voice 198.18.0.2"}, {"tone stop"}},
    {"ToneThatCannotPlayIsShownOnTheStatusLine", {"tone-fails", "req"}, CallState::Ringing,
     {"status Ring tone unavailable: cannot open", "alert 198.18.0.2 Bob 0"}},
    {"RingTimeEndsWithTheMessageEvenWithoutATone", {"tone-fails", "req", "ring-out"},
     CallState::RingTimeOver, {"line ", "send 198.18.0.2 Away"}, {"tone stop"}},
    {"LateAnswerStillConnects", {"req", "ring-out", "answer"}, CallState::InCallAnswered,
     {"send 198.18.0.2 Accept"}},
    {"LostMessageIsSentAgainWhenTheCallerAsks", {"req", "ring-out", "later", "req"},
     CallState::RingTimeOver, {"send 198.18.0.2 Away"}, {"tone play"}},
    {"CancelStopsTheRinging", {"req", "cancel"}, CallState::Idle, {"line ", "tone close"}},
    {"PlacingLooksTheNameUpFirst", {"call"}, CallState::LookingUp,
     {"dialog calling", "lookup bobs-pc"}, {"send 198.18.0.2 Calling|Me"}},
    {"CancelWhileLookingUpSendsNothingAndTheAnswerIsDropped", {"call", "cancel-button", "found"},
     CallState::Idle, {}, {"send 198.18.0.2 Calling|Me", "send 198.18.0.2 Cancel"}},
    {"NameNotFoundIsAnErrorForTheHostField", {"call", "notfound"}, CallState::Idle,
     {"dialog closed", "error Socket Error 1"}},
    {"RequestGoesToTheAddressFound", {"call", "found"}, CallState::Placing,
     {"send 198.18.0.2 Calling|Me"}},
    {"RequestIsRepeatedEverySecond", {"call", "found", "repeat"}, CallState::Placing,
     {"send 198.18.0.2 Calling|Me"}},
    {"RepeatingStopsAfterThirtySeconds", QStringList{"call", "found"} + Repeated("repeat", 31),
     CallState::Placing, {}, {"send 198.18.0.2 Calling|Me"}, 31},
    {"AcceptOfThePeerCalledStartsTheCall", {"call", "found", "accept"}, CallState::InCallPlaced,
     {"dialog closed", "video 198.18.0.2", "voice 198.18.0.2"}},
    {"AcceptFromAnyoneElseIsIgnored", {"call", "found", "accept-carol"}, CallState::Placing, {},
     {"voice 198.18.0.3"}},
    {"RefusalStopsTheRepeats", {"call", "found", "refuse", "repeat"}, CallState::Refused, {},
     {"send 198.18.0.2 Calling|Me"}},
    {"CancelGoesOutThreeTimes", {"call", "found", "cancel-button", "repeat", "repeat", "repeat"},
     CallState::Idle, {}, {"send 198.18.0.2 Cancel"}, 4},
    {"CancelIsSentAtOnce", {"call", "found", "cancel-button"}, CallState::Idle,
     {"dialog closed", "send 198.18.0.2 Cancel"}},
    {"VoiceThatFailsLeavesACallThatCanBeEnded", {"voice-fails", "call", "found", "accept", "end"},
     CallState::Idle, {"video off", "voice off"}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, CallSessionTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
