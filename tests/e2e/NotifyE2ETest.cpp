// A call rings on a test host whose desktop has a notification service (played by this test on a
// message bus of its own); answering from the notification connects the call, voice and all. Run
// through run_e2e.sh, which makes the hosts and always removes them.
#include "tests/e2e/PeerProcess.h"
#include "tests/e2e/TestHostsFixture.h"
#include "tests/fakes/FakeNotificationServer.h"

#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using vocalyn::fakes::FakeNotificationServer;
using vocalyn::fakes::PrivateBus;
using vocalyn::test::PeerProcess;
using vocalyn::test::TestHostsFixture;
using Pairs = QMap<QString, QString>;

namespace {

const QString kBob = QStringLiteral("198.18.0.2");

QByteArray Settings(const char* name) {
    // No ring tone: the notification brings the sound.
    return QByteArray("[Settings]\r\nRingTime=10000\r\nMessage=") + name +
           " is away\r\nCallerID=" + name + "\r\n";
}

QString Microphone(int frequency_Hz) {
    return QStringLiteral("audiotestsrc freq=%1 is-live=true samplesperbuffer=480")
        .arg(frequency_Hz);
}

// The heard level and frequency over the last `window_ms`, from a --voice peer.
bool Hears(PeerProcess& peer, double frequency_Hz) {
    const QString answer = peer.Command(QStringLiteral("heard 200"));
    const Pairs heard = PeerProcess::ParsePairs(answer.mid(answer.indexOf(QLatin1Char(' ')) + 1));
    return heard.value("played").toDouble() >= 190 && heard.value("rms").toDouble() >= 300 &&
           std::abs(heard.value("freq").toDouble() - frequency_Hz) <= 0.02 * frequency_Hz;
}

#define EXPECT_OK(answer) EXPECT_EQ((answer).toStdString(), "ok")

class NotifyEndToEnd : public TestHostsFixture {
protected:
    void SetUp() override {
        TestHostsFixture::SetUp();
        if (IsSkipped())
            return;
        ASSERT_FALSE(bus_.address().isEmpty()) << bus_.Errors().toStdString();
    }

    std::unique_ptr<PeerProcess> Start(const char* host, const char* name, int tone_Hz) {
        auto peer = std::make_unique<PeerProcess>(
            prefix_ + QLatin1Char('-') + QLatin1String(host), Settings(name),
            QStringList{QStringLiteral("--voice"), Microphone(tone_Hz)});
        EXPECT_OK(peer->WaitFor({{"activated", "1"}, {"listening", "1"}}, 10000))
            << peer->Errors().toStdString();
        return peer;
    }

    // A socket file, so that the copy in Bob's network namespace reaches it.
    PrivateBus bus_;
};

TEST_F(NotifyEndToEnd, AnsweringFromBobsNotificationConnectsTheCallWithVoice) {
    FakeNotificationServer server(bus_.address());
    ASSERT_TRUE(server.Registered());
    std::unique_ptr<PeerProcess> alice = Start("a", "Alice", 1000);
    // Only Bob's copy announces on the bus.
    qputenv("VOCALYN_PEER_NOTIFY_BUS", bus_.address().toUtf8());
    std::unique_ptr<PeerProcess> bob = Start("b", "Bob", 600);
    qunsetenv("VOCALYN_PEER_NOTIFY_BUS");

    EXPECT_OK(alice->Command("type " + kBob));
    EXPECT_OK(alice->Command("click call"));
    EXPECT_OK(bob->WaitFor({{"ringing", "1"}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.shown.size() == 1; }, 5000))
        << "Bob's copy showed no notification";
    ASSERT_EQ(server.notifications.size(), 1);
    const FakeNotificationServer::Notification& n = server.notifications.front();
    EXPECT_EQ(n.summary, "Alice calling...");
    EXPECT_EQ(n.hints.value("sound-name").toString(), "phone-incoming-call");
    EXPECT_EQ(n.hints.value("urgency").toInt(), 2);
    EXPECT_TRUE(n.actions.contains("answer"));

    server.InvokeAction(n.id, QStringLiteral("answer"));
    EXPECT_OK(alice->WaitFor({{"link", "1"}, {"dialog", "hidden"}}, 5000));
    EXPECT_OK(bob->WaitFor({{"link", "1"}, {"busy", "1"}}, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.shown.isEmpty(); }, 3000))
        << "the notification outlived the ringing";
    EXPECT_TRUE(QTest::qWaitFor([&] { return Hears(*bob, 1000); }, 5000))
        << "Bob does not hear Alice";
    EXPECT_TRUE(QTest::qWaitFor([&] { return Hears(*alice, 600); }, 5000))
        << "Alice does not hear Bob";
}

} // namespace
