// Copies of the program on three test hosts (tools/testnet.sh) call each other over a real
// network path. Run through run_e2e.sh, which makes the hosts and always removes them.
#include "tests/e2e/PeerProcess.h"
#include "tests/e2e/TestHostsFixture.h"

#include <QElapsedTimer>
#include <QProcess>
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include <memory>

using vocalyn::test::PeerProcess;
using vocalyn::test::TestHostsFixture;
using State = QMap<QString, QString>;

namespace {

const QString kAlice = QStringLiteral("198.18.0.1");
const QString kBob = QStringLiteral("198.18.0.2");
const QString kCarol = QStringLiteral("198.18.0.3");

QByteArray Settings(const char* name, int ringTime_s = 1) {
    return QByteArray("[Settings]\r\nRingTone=ring.wav\r\nRingTime=") +
           QByteArray::number(ringTime_s) + "\r\nMessage=" + name + " is away\r\nCallerID=" + name +
           "\r\n";
}

// The phases as each side shows them in its flags and buttons.
const State kIdle{{"busy", "0"}, {"ringing", "0"}, {"video", "0"},
                  {"link", "0"}, {"call", "1"},    {"end", "0"},
                  {"mute", "0"}, {"exit", "1"},    {"dialog", "hidden"}};
const State kPlacing{{"busy", "1"}, {"ringing", "0"}, {"video", "0"},      {"link", "0"},
                     {"call", "0"}, {"end", "0"},     {"dialog", "shown"}, {"exit", "1"}};
const State kInCallPlaced{{"busy", "1"}, {"ringing", "0"}, {"video", "1"},
                          {"link", "1"}, {"call", "0"},    {"end", "1"},
                          {"mute", "1"}, {"exit", "0"},    {"dialog", "hidden"}};
const State kRinging{{"busy", "0"}, {"ringing", "1"}, {"video", "0"}, {"link", "0"},
                     {"call", "1"}, {"end", "0"},     {"mute", "0"},  {"exit", "1"}};
const State kInCallAnswered{{"busy", "1"}, {"ringing", "1"}, {"video", "1"}, {"link", "1"},
                            {"call", "0"}, {"end", "1"},     {"mute", "1"},  {"exit", "0"}};

State With(State state, const State& more) {
    state.insert(more);
    return state;
}

class CallEndToEnd : public TestHostsFixture {
protected:
    std::unique_ptr<PeerProcess> Start(const char* host, const char* name, int ringTime_s = 1) {
        auto peer = std::make_unique<PeerProcess>(prefix_ + QLatin1Char('-') + QLatin1String(host),
                                                  Settings(name, ringTime_s));
        EXPECT_EQ(peer->WaitFor({{"activated", "1"}, {"listening", "1"}}, 10000), "ok")
            << peer->Errors().toStdString();
        return peer;
    }
};

#define EXPECT_OK(answer) EXPECT_EQ((answer).toStdString(), "ok")

TEST_F(CallEndToEnd, CallAnsweredThenEndedOnOneSideAfterTheOther) {
    auto alice = Start("a", "Alice");
    auto bob = Start("b", "Bob");
    EXPECT_OK(alice->Command("type " + kBob));
    EXPECT_OK(alice->Command("click call"));
    EXPECT_OK(alice->WaitFor(With(kPlacing, {{"die", "rolling"}, {"label", "Calling..."}})));
    EXPECT_OK(bob->WaitFor(
        With(kRinging, {{"callerid", "Alice calling..."}, {"host", kAlice}, {"timer", "1"}})));

    EXPECT_OK(bob->Command("click call"));
    EXPECT_OK(bob->WaitFor(
        With(kInCallAnswered, {{"voicetarget", kAlice}, {"videotarget", kAlice}, {"timer", "0"}})));
    EXPECT_OK(alice->WaitFor(With(kInCallPlaced, {{"voicetarget", kBob}, {"videotarget", kBob}})));

    EXPECT_OK(alice->Command("click end"));
    EXPECT_OK(alice->WaitFor(With(kIdle, {{"callerid", ""}, {"mutecaption", ""}})));
    // Ending sends nothing: Bob's half stays up until he ends it himself.
    EXPECT_OK(bob->WaitFor(kInCallAnswered, 300));
    EXPECT_OK(bob->Command("click end"));
    EXPECT_OK(bob->WaitFor(With(kIdle, {{"callerid", ""}})));
}

TEST_F(CallEndToEnd, UnansweredCallShowsTheCalleesMessageUntilCancelled) {
    auto alice = Start("a", "Alice");
    auto bob = Start("b", "Bob");
    EXPECT_OK(alice->Command("type " + kBob));
    EXPECT_OK(alice->Command("click call"));
    EXPECT_OK(bob->WaitFor(kRinging));
    // Bob's ring time is one second.
    EXPECT_OK(alice->WaitFor(With(kPlacing, {{"label", "Bob is away"}, {"die", "still"}}), 4000));
    EXPECT_OK(bob->WaitFor(With(kRinging, {{"callerid", ""}, {"timer", "0"}})));

    EXPECT_OK(alice->Command("click cancel"));
    EXPECT_OK(alice->WaitFor(kIdle));
    EXPECT_OK(bob->WaitFor(With(kIdle, {{"callerid", ""}})));
}

TEST_F(CallEndToEnd, BusyCalleeAnswersWithItsMessageAtOnce) {
    auto alice = Start("a", "Alice");
    auto bob = Start("b", "Bob");
    auto carol = Start("c", "Carol");
    EXPECT_OK(bob->Command("type " + kCarol));
    EXPECT_OK(bob->Command("click call"));
    EXPECT_OK(carol->WaitFor(With(kRinging, {{"callerid", "Bob calling..."}})));

    EXPECT_OK(alice->Command("type " + kBob));
    EXPECT_OK(alice->Command("click call"));
    // Well within Bob's one-second ring time: the reply comes from his busy side, not a timer.
    EXPECT_OK(alice->WaitFor({{"label", "Bob is away"}, {"die", "still"}}, 800));
    EXPECT_OK(bob->WaitFor(With(kPlacing, {{"label", "Calling..."}}), 300));

    EXPECT_OK(alice->Command("click cancel"));
    EXPECT_OK(bob->Command("click cancel"));
    EXPECT_OK(alice->WaitFor(kIdle));
    EXPECT_OK(bob->WaitFor(kIdle));
    EXPECT_OK(carol->WaitFor(kIdle));
}

TEST_F(CallEndToEnd, StrayAcceptFromAThirdHostChangesNothing) {
    auto alice = Start("a", "Alice");
    auto bob = Start("b", "Bob");
    auto carol = Start("c", "Carol");

    // Alice is idle. The request sent after the "Accept" shows once both are handled.
    EXPECT_OK(carol->Command("send " + kAlice + " Accept"));
    EXPECT_OK(carol->Command("send " + kAlice + " Calling|barrier"));
    EXPECT_OK(alice->WaitFor(
        With(kRinging, {{"callerid", "barrier calling..."}, {"terminalcalls", "0"}})));
    EXPECT_OK(carol->Command("send " + kAlice + " Cancel"));
    EXPECT_OK(alice->WaitFor(kIdle));

    // Alice is calling Bob: only Bob's answer counts, and only Bob's refusal would show.
    EXPECT_OK(alice->Command("type " + kBob));
    EXPECT_OK(alice->Command("click call"));
    EXPECT_OK(bob->WaitFor(kRinging));
    EXPECT_OK(carol->Command("send " + kAlice + " Accept"));
    EXPECT_OK(carol->Command("send " + kAlice + " Refused. Call +1 555 0100 now"));
    // Carol calls the busy Alice: her reply shows that Carol's datagrams have been handled.
    EXPECT_OK(carol->Command("type " + kAlice));
    EXPECT_OK(carol->Command("click call"));
    EXPECT_OK(carol->WaitFor({{"label", "Alice is away"}}));
    EXPECT_OK(alice->WaitFor(With(kPlacing, {{"label", "Calling..."}, {"terminalcalls", "0"}})));
    EXPECT_OK(carol->Command("click cancel"));
    EXPECT_OK(bob->Command("click call"));
    EXPECT_OK(alice->WaitFor(With(kInCallPlaced, {{"voicetarget", kBob}})));
}

// Runs an nftables script in a test host's namespace.
bool Nft(const QString& ns, const QByteArray& script) {
    QProcess nft;
    nft.start(QStringLiteral("ip"), {"netns", "exec", ns, "nft", "-f", "-"});
    nft.write(script);
    nft.closeWriteChannel();
    const bool done = nft.waitForFinished(5000) && nft.exitCode() == 0;
    if (!done)
        std::cerr << "nft in " << ns.toStdString() << ": "
                  << nft.readAllStandardError().toStdString() << nft.errorString().toStdString()
                  << std::endl;
    return done;
}

// A lossy LAN: each host drops a tenth of the UDP it receives, at random. Calls still connect
// within 3 s, and a caller's Cancel still reaches a callee whose "Accept" was lost.
TEST_F(CallEndToEnd, CallsConnectAndCancelsArriveThroughTenPercentLoss) {
    const QByteArray loss = "table inet vocalyn_loss {\n"
                            " chain input { type filter hook input priority 0; policy accept;\n"
                            "  meta l4proto udp numgen random mod 100 < 10 drop\n }\n"
                            " chain cut { type filter hook input priority 1; policy accept; }\n"
                            "}\n";
    ASSERT_TRUE(Nft(ns("a"), loss) && Nft(ns("b"), loss));
    auto alice = Start("a", "Alice", 10);
    auto bob = Start("b", "Bob", 10);
    EXPECT_OK(alice->Command("type " + kBob));
    QList<qint64> connect_ms;
    QList<qint64> stop_ms;
    for (int call = 0; call < 20; ++call) {
        SCOPED_TRACE(call);
        // Every fifth call, Bob's answers never reach Alice, who gives up.
        const bool cut = call % 5 == 4;
        if (cut) {
            ASSERT_TRUE(Nft(ns("a"), "add rule inet vocalyn_loss cut ip saddr 198.18.0.2 udp "
                                     "dport 6767 drop\n"));
        }
        QElapsedTimer clock;
        clock.start();
        EXPECT_OK(alice->Command("click call"));
        EXPECT_OK(bob->WaitFor(kRinging, 3000));
        EXPECT_OK(bob->Command("click call"));
        if (cut) {
            EXPECT_OK(bob->WaitFor(kInCallAnswered));
            EXPECT_OK(alice->WaitFor(kPlacing, 200));
            EXPECT_OK(alice->Command("click cancel"));
            clock.restart();
            EXPECT_OK(bob->WaitFor(With(kIdle, {{"link", "0"}, {"video", "0"}}), 1000));
            stop_ms << clock.elapsed();
            ASSERT_TRUE(Nft(ns("a"), "flush chain inet vocalyn_loss cut\n"));
            continue;
        }
        EXPECT_OK(alice->WaitFor(kInCallPlaced, std::max<int>(1, 3000 - clock.elapsed())));
        connect_ms << clock.elapsed();
        EXPECT_OK(alice->Command("click end"));
        EXPECT_OK(bob->Command("click end"));
        EXPECT_OK(alice->WaitFor(kIdle));
        EXPECT_OK(bob->WaitFor(kIdle));
    }
    std::sort(connect_ms.begin(), connect_ms.end());
    std::sort(stop_ms.begin(), stop_ms.end());
    const auto list = [](const QList<qint64>& values) {
        QStringList texts;
        for (qint64 value : values)
            texts << QString::number(value);
        return texts.join(' ').toStdString();
    };
    std::cout << "connected in ms: " << list(connect_ms)
              << "\ncancel to idle in ms: " << list(stop_ms) << std::endl;
}

} // namespace
