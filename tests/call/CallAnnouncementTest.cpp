// The desktop announcement of a ringing call, seen from the call flow: with a recording notifier,
// and with the D-Bus one against a notification service on the test's own message bus.
#include "app/DBusCallNotifier.h"
#include "tests/call/CallFixture.h"
#include "tests/fakes/FakeNotificationServer.h"
#include "tests/fakes/RecordingCallNotifier.h"

#include <QTest>

#include <cstdio>

using namespace vocalyn;
using namespace vocalyn::test;
using fakes::FakeNotificationServer;

namespace {

class CallAnnouncement : public CallTest {
protected:
    std::unique_ptr<CallNotifier> BobsNotifier() override {
        auto owned = std::make_unique<fakes::RecordingCallNotifier>();
        notifier_ = owned.get();
        return owned;
    }

    // Carol's call request reaches Bob and he rings.
    bool CarolCalls(const QByteArray& callerID = "Carol") {
        carol_->Send("127.0.0.2", "Calling|" + callerID);
        return QTest::qWaitFor([this] { return B().Ringing(); }, 3000);
    }

    fakes::RecordingCallNotifier* notifier_ = nullptr;
};

TEST_F(CallAnnouncement, EveryWayTheRingingEndsWithdrawsIt) {
    // The caller's Cancel.
    ASSERT_TRUE(CarolCalls());
    EXPECT_EQ(notifier_->calls, QStringList({"show Carol silent"}));
    carol_->Send("127.0.0.2", "Cancel");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !B().Ringing(); }, 3000));
    EXPECT_EQ(notifier_->calls.last(), "withdraw");

    // The ring time; without a ring tone of his own the announcement brings the sound.
    notifier_->calls.clear();
    B().Settings.RingTone.clear();
    B().Settings.RingTime = 200;
    ASSERT_TRUE(CarolCalls());
    EXPECT_EQ(notifier_->calls, QStringList({"show Carol"}));
    EXPECT_EQ(carol_->Next(), "Bob is away");
    EXPECT_EQ(notifier_->calls, QStringList({"show Carol", "withdraw"}));
    carol_->Send("127.0.0.2", "Cancel");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !B().Ringing(); }, 3000));

    // Answering from the announcement is the call button: Carol gets her "Accept".
    notifier_->calls.clear();
    B().Settings.RingTime = 10000;
    ASSERT_TRUE(CarolCalls());
    ASSERT_TRUE(notifier_->OnAnswer);
    notifier_->OnAnswer();
    EXPECT_EQ(carol_->Next(), "Accept");
    EXPECT_PHASE(*bob_, kInCallAnswered);
    EXPECT_FALSE(notifier_->Showing());
    EXPECT_EQ(notifier_->calls.first(), "show Carol");
    B().btnEnd->click();
    EXPECT_FALSE(notifier_->Showing());
}

TEST_F(CallAnnouncement, ASecondCallerWhileBusyGetsTheBusyReplyAndNoAnnouncement) {
    Script script;
    script.When("Bob rings", BobRings(), [this] { B().btnCall->click(); });
    ASSERT_TRUE(AliceCalls(script)) << script.failure().toStdString();
    ASSERT_TRUE(B().VoiceLink);
    EXPECT_EQ(notifier_->calls, QStringList({"show Alice silent", "withdraw"}));

    carol_->Send("127.0.0.2", "Calling|Carol");
    EXPECT_EQ(carol_->Next(), "Bob is away");
    EXPECT_EQ(notifier_->calls, QStringList({"show Alice silent", "withdraw"}));
    // Answering a call that no longer rings does nothing.
    notifier_->OnAnswer();
    EXPECT_PHASE(*bob_, kInCallAnswered);
}

TEST_F(CallAnnouncement, ClosingTheProgramWhileItRingsWithdrawsIt) {
    ASSERT_TRUE(CarolCalls());
    ASSERT_TRUE(notifier_->Showing());
    B().close();
    EXPECT_FALSE(notifier_->Showing());
}

// Bob's copy announces through D-Bus; each test starts the notification service it needs.
class CallAnnouncementOnDBus : public CallTest {
protected:
    void SetUp() override {
        ASSERT_FALSE(bus_.address().isEmpty()) << bus_.Errors().toStdString();
        CallTest::SetUp();
    }

    std::unique_ptr<CallNotifier> BobsNotifier() override {
        auto owned = std::make_unique<DBusCallNotifier>(bus_.address());
        notifier_ = owned.get();
        return owned;
    }

    bool CarolCalls(const QByteArray& callerID = "Carol") {
        carol_->Send("127.0.0.2", "Calling|" + callerID);
        return QTest::qWaitFor([this] { return B().Ringing(); }, 3000);
    }

    static bool Shows(FakeNotificationServer& server, int count) {
        return QTest::qWaitFor([&] { return server.notifications.size() == count; }, 3000) &&
               server.shown.size() == 1;
    }

    static bool ClosedAll(FakeNotificationServer& server) {
        return QTest::qWaitFor([&] { return server.shown.isEmpty(); }, 3000);
    }

    fakes::PrivateBus bus_;
    DBusCallNotifier* notifier_ = nullptr;
};

TEST_F(CallAnnouncementOnDBus, AnsweringFromTheNotificationConnectsTheCall) {
    FakeNotificationServer server(bus_.address());
    ASSERT_TRUE(server.Registered());
    ASSERT_TRUE(CarolCalls("<i>Carol</i> & co"));
    ASSERT_TRUE(Shows(server, 1));
    const FakeNotificationServer::Notification& n = server.notifications.front();
    EXPECT_EQ(n.summary, "<i>Carol</i> & co calling...");
    EXPECT_EQ(n.body, "Incoming call from &lt;i&gt;Carol&lt;/i&gt; &amp; co");
    EXPECT_EQ(n.hints.value("category").toString(), "call.incoming");
    EXPECT_EQ(n.hints.value("suppress-sound"), QVariant(true)); // Bob has a ring tone

    server.InvokeAction(n.id, QStringLiteral("answer"));
    EXPECT_EQ(carol_->Next(), "Accept");
    EXPECT_PHASE(*bob_, kInCallAnswered);
    EXPECT_TRUE(ClosedAll(server));
    EXPECT_EQ(server.closeRequests, QList<uint>({n.id}));
}

TEST_F(CallAnnouncementOnDBus, CancelAndTheRingTimeCloseTheNotification) {
    FakeNotificationServer server(bus_.address());
    ASSERT_TRUE(server.Registered());
    ASSERT_TRUE(CarolCalls());
    ASSERT_TRUE(Shows(server, 1));
    carol_->Send("127.0.0.2", "Cancel");
    EXPECT_TRUE(ClosedAll(server));

    B().Settings.RingTone.clear();
    B().Settings.RingTime = 300;
    ASSERT_TRUE(CarolCalls());
    ASSERT_TRUE(Shows(server, 2));
    EXPECT_EQ(server.notifications.back().hints.value("sound-name").toString(),
              "phone-incoming-call");
    EXPECT_EQ(carol_->Next(), "Bob is away");
    EXPECT_TRUE(ClosedAll(server));
    // The call button would still answer, but the withdrawn notification does not.
    server.InvokeAction(server.notifications.back().id, QStringLiteral("answer"));
    EXPECT_EQ(carol_->Next(500), std::nullopt);
    EXPECT_FALSE(B().VoiceLink);
    EXPECT_EQ(server.closeRequests.size(), 2);
}

TEST_F(CallAnnouncementOnDBus, WithoutANotificationServiceTheCallGoesAsBefore) {
    Script script;
    script.When("Bob rings", BobRings(), [this] {
        EXPECT_PHASE(*bob_, kRinging);
        EXPECT_EQ(B().lblCallerID->text(), "Alice calling...");
        B().btnCall->click();
    });
    ASSERT_TRUE(AliceCalls(script)) << script.failure().toStdString();
    EXPECT_PHASE(*alice_, kInCallPlaced);
    EXPECT_PHASE(*bob_, kInCallAnswered);
    EXPECT_LE(notifier_->LongestCall_us(), 10000); // well under 1 ms when the machine is idle
    std::printf("call without a notification service: longest GUI-thread time %lld us\n",
                static_cast<long long>(notifier_->LongestCall_us()));
}

} // namespace
