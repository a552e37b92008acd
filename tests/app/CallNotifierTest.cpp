// The desktop announcement of a ringing call, against a notification service on a message bus
// of the test's own.
#include "app/DBusCallNotifier.h"
#include "tests/fakes/FakeNotificationServer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

using namespace vocalyn;
using fakes::FakeNotificationServer;
using fakes::PrivateBus;

namespace {

// The GUI thread may spend no longer than this in one call, whatever the bus does. The calls take
// well under a millisecond; the margin is for a busy machine, while any wait for the service or
// the bus would be far longer.
constexpr qint64 kMainThreadBudget_us = 10000;

class CallNotifierTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(bus_.address().isEmpty()) << bus_.Errors().toStdString(); }

    std::unique_ptr<DBusCallNotifier> Notifier(const QString& address) {
        auto notifier = std::make_unique<DBusCallNotifier>(address);
        notifier->OnAnswer = [this] { ++answers_; };
        EXPECT_TRUE(QTest::qWaitFor([&] { return notifier->Ready(); }, 5000));
        return notifier;
    }

    std::unique_ptr<FakeNotificationServer> Server() {
        auto server = std::make_unique<FakeNotificationServer>(bus_.address());
        EXPECT_TRUE(server->Registered());
        return server;
    }

    // Waits until the server has had `count` Notify calls.
    static bool Notified(FakeNotificationServer& server, int count) {
        return QTest::qWaitFor([&] { return server.notifications.size() >= count; }, 3000) &&
               server.notifications.size() == count;
    }

    // Lets every message already sent arrive and be handled.
    static void Settle() { QTest::qWait(150); }

    PrivateBus bus_;
    int answers_ = 0;
};

TEST_F(CallNotifierTest, RingingShowsOneCriticalCallNotificationThatAWithdrawCloses) {
    auto server = Server();
    auto notifier = Notifier(bus_.address());
    notifier->ShowIncoming(QStringLiteral("Alice"), false);
    ASSERT_TRUE(Notified(*server, 1));
    const FakeNotificationServer::Notification n = server->notifications.front();
    EXPECT_EQ(n.appName, "Vocalyn");
    EXPECT_EQ(n.replacesId, 0u);
    EXPECT_EQ(n.appIcon, "vocalyn");
    EXPECT_EQ(n.summary, "Alice calling...");
    EXPECT_EQ(n.body, "Incoming call from Alice");
    EXPECT_EQ(n.actions, QStringList({"default", "Answer", "answer", "Answer"}));
    EXPECT_EQ(n.hints.value("urgency").metaType().id(), QMetaType::UChar);
    EXPECT_EQ(n.hints.value("urgency").toInt(), 2);
    EXPECT_EQ(n.hints.value("category").toString(), "call.incoming");
    EXPECT_EQ(n.hints.value("sound-name").toString(), "phone-incoming-call");
    EXPECT_FALSE(n.hints.contains("suppress-sound"));
    EXPECT_EQ(n.expireTimeout_ms, 0);

    // A repeated request replaces the notification instead of stacking a second one.
    notifier->ShowIncoming(QStringLiteral("Alice"), false);
    ASSERT_TRUE(Notified(*server, 2));
    EXPECT_EQ(server->notifications.back().replacesId, n.id);
    EXPECT_EQ(server->shown, QSet<uint>({n.id}));

    notifier->Withdraw();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->shown.isEmpty(); }, 3000));
    EXPECT_EQ(server->closeRequests, QList<uint>({n.id}));
    // A second withdraw has nothing left to close.
    notifier->Withdraw();
    Settle();
    EXPECT_EQ(server->closeRequests.size(), 1);
}

TEST_F(CallNotifierTest, AnOwnRingToneSilencesTheNotification) {
    auto server = Server();
    auto notifier = Notifier(bus_.address());
    notifier->ShowIncoming(QStringLiteral("Alice"), true);
    ASSERT_TRUE(Notified(*server, 1));
    const QVariantMap& hints = server->notifications.front().hints;
    EXPECT_EQ(hints.value("suppress-sound"), QVariant(true));
    EXPECT_FALSE(hints.contains("sound-name"));
}

TEST_F(CallNotifierTest, TheCallerIDIsPlainTextEscapedForTheBodyAndCut) {
    auto server = Server();
    auto notifier = Notifier(bus_.address());
    notifier->ShowIncoming(QStringLiteral("<b>Eve</b> & 'co'\n\x01"), false);
    ASSERT_TRUE(Notified(*server, 1));
    EXPECT_EQ(server->notifications[0].summary, "<b>Eve</b> & 'co' calling...");
    EXPECT_EQ(server->notifications[0].body,
              "Incoming call from &lt;b&gt;Eve&lt;/b&gt; &amp; &apos;co&apos;");

    notifier->ShowIncoming(QString(500, QLatin1Char('x')), false);
    ASSERT_TRUE(Notified(*server, 2));
    EXPECT_EQ(server->notifications[1].summary,
              QString(63, QLatin1Char('x')) + QChar(0x2026) + " calling...");
    EXPECT_LT(server->notifications[1].body.size(), 100);
}

TEST(DisplayedCallerID, KeepsOneLineOfVisibleTextAndNeverSplitsACharacter) {
    EXPECT_EQ(DBusCallNotifier::DisplayedCallerID("  Bob\r\n\tSmith "), "Bob Smith");
    // A direction override would make the name read as something else.
    EXPECT_EQ(DBusCallNotifier::DisplayedCallerID(QString::fromUtf8("Bob\u202Egnp.exe")),
              "Bobgnp.exe");
    EXPECT_EQ(DBusCallNotifier::DisplayedCallerID(QString(64, QLatin1Char('y'))),
              QString(64, QLatin1Char('y')));
    // A character outside the first plane straddling the cut goes as a whole.
    const QString face = QString::fromUtf8("\U0001F600");
    const QString shown = DBusCallNotifier::DisplayedCallerID(QString(62, 'a') + face + "zz");
    EXPECT_EQ(shown, QString(62, 'a') + QChar(0x2026));
    EXPECT_EQ(DBusCallNotifier::DisplayedCallerID(QString(61, 'a') + face + "zz"),
              QString(61, 'a') + face + QChar(0x2026));
    EXPECT_EQ(DBusCallNotifier::DisplayedCallerID("\x01\x02"), "");
}

TEST_F(CallNotifierTest, OnlyTheAnswerOrDefaultActionOfTheShownNotificationAnswers) {
    auto server = Server();
    auto notifier = Notifier(bus_.address());
    notifier->ShowIncoming(QStringLiteral("Alice"), false);
    ASSERT_TRUE(Notified(*server, 1));
    const uint id = server->notifications.front().id;

    server->InvokeAction(id, QStringLiteral("answer"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers_ == 1; }, 3000));
    server->InvokeAction(id, QStringLiteral("default"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers_ == 2; }, 3000));

    server->InvokeAction(id, QStringLiteral("dismiss"));
    server->InvokeAction(id + 1, QStringLiteral("answer"));
    // Another program on the bus cannot answer for the service.
    QDBusConnection other = QDBusConnection::connectToBus(bus_.address(), "other-program");
    QDBusMessage forged = QDBusMessage::createSignal(
        "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked");
    forged << id << QStringLiteral("answer");
    other.send(forged);
    Settle();
    EXPECT_EQ(answers_, 2);
    QDBusConnection::disconnectFromBus("other-program");

    // Once withdrawn, the old notification's action is stale.
    notifier->Withdraw();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->shown.isEmpty(); }, 3000));
    server->InvokeAction(id, QStringLiteral("answer"));
    Settle();
    EXPECT_EQ(answers_, 2);
}

TEST_F(CallNotifierTest, AWithdrawBeforeTheServiceAnswersStillClosesTheNotification) {
    auto server = Server();
    auto notifier = Notifier(bus_.address());
    server->holdReplies = true;
    notifier->ShowIncoming(QStringLiteral("Alice"), false);
    ASSERT_TRUE(Notified(*server, 1));
    // The ringing ends while the service has not answered yet.
    notifier->Withdraw();
    notifier->ShowIncoming(QStringLiteral("Carol"), false);
    notifier->Withdraw();
    Settle();
    EXPECT_TRUE(server->closeRequests.isEmpty());
    server->ReleaseReplies();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->shown.isEmpty(); }, 3000));
    EXPECT_EQ(server->closeRequests, QList<uint>({server->notifications.front().id}));
    Settle();
    EXPECT_EQ(server->notifications.size(), 1) << "Carol's ringing had ended before it showed";
}

TEST_F(CallNotifierTest, AnActionThatOvertakesTheServicesReplyStillAnswersOnce) {
    auto server = Server();
    auto notifier = Notifier(bus_.address());
    QDBusConnection other = QDBusConnection::connectToBus(bus_.address(), "early-program");
    // Before each reply: `forge` sends an answer from another program on the bus, `act` the
    // service's own, and `withdraw` ends the ringing.
    const auto early = [&](const QString& caller, bool forge, bool act, bool withdraw) {
        server->holdReplies = true;
        notifier->ShowIncoming(caller, false);
        const qsizetype count = server->notifications.size() + 1;
        ASSERT_TRUE(Notified(*server, count));
        const uint id = server->notifications.back().id;
        QDBusMessage forged = QDBusMessage::createSignal(
            "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked");
        forged << id << QStringLiteral("answer");
        if (forge)
            other.send(forged);
        Settle();
        if (act)
            server->InvokeAction(id, QStringLiteral("answer"));
        if (forge)
            other.send(forged);
        Settle();
        EXPECT_EQ(answers_, 0) << "answered before the service said which notification is its own";
        if (withdraw)
            notifier->Withdraw();
        server->ReleaseReplies();
        Settle();
    };
    early(QStringLiteral("Alice"), true, false, false);
    EXPECT_EQ(answers_, 0) << "another program answered";
    notifier->Withdraw();
    early(QStringLiteral("Bob"), false, true, true);
    EXPECT_EQ(answers_, 0) << "a stale action answered";
    early(QStringLiteral("Carol"), true, true, false);
    EXPECT_EQ(answers_, 1);
    QDBusConnection::disconnectFromBus("early-program");
}

TEST_F(CallNotifierTest, AUserDismissalStaysAndItsActionsAreIgnored) {
    auto server = Server();
    auto notifier = Notifier(bus_.address());
    notifier->ShowIncoming(QStringLiteral("Alice"), false);
    ASSERT_TRUE(Notified(*server, 1));
    const uint id = server->notifications.front().id;
    server->Dismiss(id);
    Settle();
    server->InvokeAction(id, QStringLiteral("answer"));
    notifier->Withdraw();
    Settle();
    EXPECT_EQ(answers_, 0);
    EXPECT_TRUE(server->closeRequests.isEmpty());
}

// No service, a refusing service, a service that never answers, no bus at all: nothing shows,
// nothing is left to withdraw, and the GUI thread is never held up.
TEST_F(CallNotifierTest, WithoutAWillingServiceNothingShowsAndNothingWaits) {
    struct Case {
        const char* name;
        QString address;
        bool server, refuse, hang;
    };
    const QList<Case> cases{
        {"no service", bus_.address(), false, false, false},
        {"refusing service", bus_.address(), true, true, false},
        {"service that never answers", bus_.address(), true, false, true},
        {"no bus", "unix:path=/nonexistent/vocalyn-test-bus", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<FakeNotificationServer> server = c.server ? Server() : nullptr;
        if (server) {
            server->refuse = c.refuse;
            server->holdReplies = c.hang;
        }
        auto notifier = Notifier(c.address);
        for (int i = 0; i < 3; ++i) {
            notifier->ShowIncoming(QStringLiteral("Alice"), false);
            notifier->Withdraw();
        }
        notifier->ShowIncoming(QStringLiteral("Alice"), false);
        Settle();
        notifier->Withdraw();
        Settle();
        EXPECT_LE(notifier->LongestCall_us(), kMainThreadBudget_us);
        std::printf("%s: longest GUI-thread time per call %lld us\n", c.name,
                    static_cast<long long>(notifier->LongestCall_us()));
        if (server) {
            EXPECT_TRUE(server->closeRequests.isEmpty());
            // One call at a time: the later shows wait for the first answer.
            EXPECT_EQ(server->notifications.size(), c.hang ? 1 : 2);
        }
        EXPECT_EQ(answers_, 0);
    }
}

TEST_F(CallNotifierTest, AWillingServiceCostsTheGuiThreadNoMoreThanAFewMilliseconds) {
    auto server = Server();
    auto notifier = Notifier(bus_.address());
    for (int i = 0; i < 20; ++i) {
        notifier->ShowIncoming(QStringLiteral("Alice"), i % 2 == 0);
        ASSERT_TRUE(Notified(*server, i + 1));
        notifier->Withdraw();
        ASSERT_TRUE(QTest::qWaitFor([&] { return server->shown.isEmpty(); }, 3000));
    }
    EXPECT_LE(notifier->LongestCall_us(), kMainThreadBudget_us);
    std::printf("service present: longest GUI-thread time per call %lld us\n",
                static_cast<long long>(notifier->LongestCall_us()));
}

} // namespace
