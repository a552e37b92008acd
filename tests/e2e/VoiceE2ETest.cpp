// Two copies of the program in a call on two test hosts, their sound carried by the real media
// terminal from test tones to sinks that each copy listens to (vocalyn_peer --voice). Run through
// run_e2e.sh, which makes the hosts and always removes them.
#include "tests/e2e/PeerProcess.h"
#include "tests/e2e/TestHostsFixture.h"

#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <memory>

using vocalyn::test::PeerProcess;
using vocalyn::test::TestHostsFixture;
using Pairs = QMap<QString, QString>;

namespace {

const QString kAlice = QStringLiteral("198.18.0.1");
const QString kBob = QStringLiteral("198.18.0.2");

constexpr double kHeardRms = 300;  // about -40 dBFS; the tones arrive near -20 dBFS
constexpr double kSilentRms = 100; // nothing at all is played while a side is muted

double Now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

QByteArray Settings(const char* name) {
    return QByteArray("[Settings]\r\nRingTone=ring.wav\r\nRingTime=10000\r\nMessage=") + name +
           " is away\r\nCallerID=" + name + "\r\n";
}

// A tone in 10 ms buffers, as a sound card delivers them; silence for 0 Hz.
QString Microphone(int frequency_Hz) {
    return frequency_Hz ? QStringLiteral("audiotestsrc freq=%1 is-live=true samplesperbuffer=480")
                              .arg(frequency_Hz)
                        : QStringLiteral("audiotestsrc wave=silence is-live=true "
                                         "samplesperbuffer=480");
}

// Sound played all through the window, at a level one hears.
bool Playing(const Pairs& heard, double window_ms) {
    return PeerProcess::Value(heard, "played") >= 0.95 * window_ms &&
           PeerProcess::Value(heard, "rms") >= kHeardRms;
}

bool Hears(const Pairs& heard, double frequency_Hz, double window_ms) {
    return Playing(heard, window_ms) &&
           std::abs(PeerProcess::Value(heard, "freq") - frequency_Hz) <= 0.02 * frequency_Hz;
}

// Waits until `peer` has been hearing `frequency_Hz` for `window_ms`.
bool WaitHearing(PeerProcess& peer, double frequency_Hz, int limit_ms, int window_ms = 200) {
    return QTest::qWaitFor(
        [&] {
            return Hears(peer.Ask(QStringLiteral("heard %1").arg(window_ms)), frequency_Hz,
                         window_ms);
        },
        limit_ms);
}

#define EXPECT_OK(answer) EXPECT_EQ((answer).toStdString(), "ok")

class VoiceEndToEnd : public TestHostsFixture {
protected:
    std::unique_ptr<PeerProcess> Start(const char* host, const char* name, int tone_Hz) {
        auto peer = std::make_unique<PeerProcess>(
            Host(host), Settings(name),
            QStringList{QStringLiteral("--voice"), Microphone(tone_Hz)});
        EXPECT_OK(peer->WaitFor({{"activated", "1"}, {"listening", "1"}}, 10000))
            << peer->Errors().toStdString();
        return peer;
    }

    // Alice (1 kHz) calls Bob (600 Hz, or silent), who answers; returns once both hear.
    void Call(int bobsTone_Hz = 600) {
        alice_ = Start("a", "Alice", 1000);
        bob_ = Start("b", "Bob", bobsTone_Hz);
        EXPECT_OK(alice_->Command("type " + kBob));
        EXPECT_OK(alice_->Command("click call"));
        EXPECT_OK(bob_->WaitFor({{"ringing", "1"}}));
        EXPECT_OK(bob_->Command("click call"));
        EXPECT_OK(alice_->WaitFor({{"link", "1"}}));
        ASSERT_TRUE(WaitHearing(*bob_, 1000, 5000)) << "Bob does not hear Alice's tone";
        if (bobsTone_Hz) {
            ASSERT_TRUE(WaitHearing(*alice_, bobsTone_Hz, 5000)) << "Alice does not hear Bob";
        }
    }

    // Runs vocalyn_rtp_tool on a test host; its output line, or "" when it fails or lingers.
    QString Tool(const char* host, const QStringList& arguments, int limit_ms) {
        QProcess tool;
        tool.start(QStringLiteral("ip"),
                   QStringList{QStringLiteral("netns"), QStringLiteral("exec"), Host(host),
                               qEnvironmentVariable("VOCALYN_RTP_TOOL")} +
                       arguments);
        if (!tool.waitForFinished(limit_ms)) {
            tool.kill();
            tool.waitForFinished(1000);
            return {};
        }
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }

    QString Host(const char* host) const {
        return prefix_ + QLatin1Char('-') + QLatin1String(host);
    }

    std::unique_ptr<PeerProcess> alice_;
    std::unique_ptr<PeerProcess> bob_;
};

TEST_F(VoiceEndToEnd, TonesCrossBothWaysAndMuteSilencesOnlyTheMutedSide) {
    ASSERT_NO_FATAL_FAILURE(Call());
    // A full second of each tone, once it has settled in the sender's noise suppressor.
    auto steady = [](PeerProcess& peer) {
        return QTest::qWaitFor([&] { return Playing(peer.Ask("heard 1000"), 1000); }, 3000);
    };
    EXPECT_TRUE(steady(*bob_) && steady(*alice_));
    // A second in which a busy machine starved the pipeline can be off by a
    // few crossings; the next clean second decides.
    EXPECT_TRUE(WaitHearing(*bob_, 1000, 5000, 1000))
        << "Bob hears " << bob_->Ask("heard 1000").value(QStringLiteral("freq")).toStdString();
    EXPECT_TRUE(WaitHearing(*alice_, 600, 5000, 1000))
        << "Alice hears " << alice_->Ask("heard 1000").value(QStringLiteral("freq")).toStdString();

    EXPECT_OK(alice_->Command("click mute"));
    EXPECT_OK(alice_->WaitFor({{"muted", "1"}}));
    // Long enough that what Bob hears once Alice unmutes is new.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return PeerProcess::Value(bob_->Ask("heard 300"), "rms") < kSilentRms; }, 2000))
        << "Bob still hears Alice while she is muted";
    const double mutedAt_ms = PeerProcess::Value(alice_->Ask("voice"), "stopped");
    const double silentAt_ms = PeerProcess::Value(bob_->Ask("heard 0"), "loudend");
    EXPECT_LE(silentAt_ms - mutedAt_ms, 100) << "from the mute to the last sound Bob hears";
    std::printf("mute: silent at Bob %.1f ms after Alice's mute\n", silentAt_ms - mutedAt_ms);

    EXPECT_OK(alice_->Command("click mute"));
    EXPECT_OK(alice_->WaitFor({{"muted", "0"}}));
    const double unmutedAt_ms = Now_ms();
    EXPECT_TRUE(WaitHearing(*bob_, 1000, 2000)) << "Alice's tone does not come back";
    std::printf("unmute: heard again at Bob within %.1f ms\n", Now_ms() - unmutedAt_ms);

    // Bob's tone went on the whole time.
    const Pairs quiet = alice_->Ask(
        QStringLiteral("quiet %1 %2").arg(mutedAt_ms - 500, 0, 'f', 2).arg(Now_ms(), 0, 'f', 2));
    EXPECT_LT(PeerProcess::Value(quiet, "ms"), 60) << "a gap in what Alice hears from Bob";
    EXPECT_TRUE(Hears(alice_->Ask("heard 500"), 600, 500));
}

TEST_F(VoiceEndToEnd, AfterTheEndButtonNoRtpLeavesTheHost) {
    ASSERT_NO_FATAL_FAILURE(Call());
    // The counter sees the call's packets on Alice's cable...
    const QString during = Tool("a", {"count", "8500", "400"}, 3000);
    ASSERT_TRUE(during.startsWith("count ")) << during.toStdString();
    EXPECT_GE(during.mid(6).toInt(), 10) << "20 ms packets over 400 ms";

    EXPECT_OK(alice_->Command("click end"));
    EXPECT_OK(alice_->WaitFor({{"link", "0"}, {"busy", "0"}}));
    // ...until her terminal has stopped; Bob's half of the call still sends to her.
    double sent = -1;
    double readAt_ms = 0;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            if (Now_ms() - readAt_ms < 60) // three packet times
                return false;
            const double before = sent;
            sent = PeerProcess::Value(alice_->Ask("voice"), "sent");
            readAt_ms = Now_ms();
            return sent == before;
        },
        2000));
    const double bobSent = PeerProcess::Value(bob_->Ask("voice"), "sent");
    const QString after = Tool("a", {"count", "8500", "1000"}, 4000);
    EXPECT_EQ(after.toStdString(), "count 0");
    EXPECT_GT(PeerProcess::Value(bob_->Ask("voice"), "sent"), bobSent + 25)
        << "Bob's half of the call ended";
}

TEST_F(VoiceEndToEnd, BadRtpFromAnotherHostAndFromThePeersAddressIsShrugged) {
    // In a sanitizer build AddressSanitizer holds up to 256 MB of freed memory back to catch late
    // uses, which would look like growth; other builds ignore the setting.
    const QByteArray sanitizer = qgetenv("ASAN_OPTIONS");
    qputenv("ASAN_OPTIONS", sanitizer + (sanitizer.isEmpty() ? "" : ":") + "quarantine_size_mb=1");
    ASSERT_NO_FATAL_FAILURE(Call());
    qputenv("ASAN_OPTIONS", sanitizer);
    const double before_kB = PeerProcess::Value(bob_->Ask("voice"), "rss");

    // 20000 datagrams of every bad kind from Carol, and as many with Alice's address and port,
    // as fast as a 100 Mbit/s link would carry small ones.
    QProcess carol;
    carol.start(QStringLiteral("ip"),
                {QStringLiteral("netns"), QStringLiteral("exec"), Host("c"),
                 qEnvironmentVariable("VOCALYN_RTP_TOOL"), "flood", kBob, "20000", "10000"});
    const QString spoofed = Tool("a", {"flood", kBob, "20000", "10000", kAlice}, 10000);
    EXPECT_TRUE(carol.waitForFinished(10000));
    const double floodEnd_ms = Now_ms();
    EXPECT_EQ(spoofed.toStdString(), "sent 20000");
    EXPECT_EQ(QString::fromUtf8(carol.readAllStandardOutput()).trimmed().toStdString(),
              "sent 20000");

    EXPECT_TRUE(WaitHearing(*bob_, 1000, 1000, 100)) << "Bob's sound did not come back in 1 s";
    std::printf("flood: Bob hears Alice again %.1f ms after the flood (100 ms window)\n",
                Now_ms() - floodEnd_ms);
    const double after_kB = PeerProcess::Value(bob_->Ask("voice"), "rss");
    std::printf("flood: Bob's resident memory %.0f kB before, %.0f kB after\n", before_kB,
                after_kB);
    EXPECT_LT(after_kB - before_kB, 8 * 1024);
    EXPECT_TRUE(WaitHearing(*alice_, 600, 1000)) << "Alice stopped hearing Bob";
}

TEST_F(VoiceEndToEnd, TenPercentLossKeepsMostOfTheSound) {
    // This kernel has no netem; nftables drops at random just as well.
    QProcess probe;
    probe.start(QStringLiteral("nft"), {QStringLiteral("--version")});
    if (!probe.waitForFinished(3000) || probe.exitCode() != 0)
        GTEST_SKIP() << "nftables (nft) is needed to lose packets on purpose";
    // Bob only listens: with both talking, each side's echo canceller would also react to
    // the other's concealed sound, and the level would wander for reasons other than the loss.
    ASSERT_NO_FATAL_FAILURE(Call(0));
    // The sender's noise suppressor takes a few seconds to settle on a steady tone.
    double last = 0;
    double readAt_ms = 0;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            if (Now_ms() - readAt_ms < 1000)
                return false;
            const double before = last;
            last = PeerProcess::Value(bob_->Ask("heard 1000"), "rms");
            readAt_ms = Now_ms();
            return std::abs(last - before) < 0.05 * last;
        },
        10000));
    const double clean = std::pow(PeerProcess::Value(bob_->Ask("heard 2000"), "rms"), 2);

    QProcess nft;
    nft.start(QStringLiteral("ip"), {"netns", "exec", Host("a"), "nft", "-f", "-"});
    ASSERT_TRUE(nft.waitForStarted(3000));
    nft.write("table ip vocalyn_loss { chain out { type filter hook output priority 0;"
              " policy accept; udp dport 8500 numgen random mod 100 < 10 drop; }; }\n");
    nft.closeWriteChannel();
    ASSERT_TRUE(nft.waitForFinished(3000) && nft.exitCode() == 0)
        << nft.readAllStandardError().toStdString();
    const double lossFrom_ms = Now_ms();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Now_ms() - lossFrom_ms >= 3000; }, 4000));
    const double lossy = std::pow(PeerProcess::Value(bob_->Ask("heard 3000"), "rms"), 2);
    std::printf("loss: Bob keeps %.1f %% of the energy\n", 100 * lossy / clean);
    EXPECT_GE(lossy, 0.8 * clean);
}

} // namespace
