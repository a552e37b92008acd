// Copies of the program on test hosts (tools/testnet.sh): the local address on a host whose name
// maps to a loopback address, and floods of call requests against a busy copy. Run through
// run_e2e.sh, which makes the hosts and always removes them.
#include "tests/e2e/PeerProcess.h"
#include "tests/e2e/TestHostsFixture.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

#include <iostream>
#include <memory>

using vocalyn::test::PeerProcess;
using vocalyn::test::TestHostsFixture;
using State = QMap<QString, QString>;

namespace {

const QString kAlice = QStringLiteral("198.18.0.1");
const QString kBob = QStringLiteral("198.18.0.2");

#define EXPECT_OK(answer) EXPECT_EQ((answer).toStdString(), "ok")

// Runs a command to its end and returns its output; a failure fails the test.
QString RunCommand(const QString& program, const QStringList& arguments,
                   const QByteArray& input = {}) {
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(60000);
    EXPECT_TRUE(finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        << program.toStdString() << " " << arguments.join(u' ').toStdString() << ": "
        << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

class TestHosts : public TestHostsFixture {
protected:
    static std::unique_ptr<PeerProcess> Start(const QString& ns, const QByteArray& settings,
                                              const QStringList& wrapper = {}) {
        auto peer = std::make_unique<PeerProcess>(ns, settings, QStringList{}, wrapper);
        EXPECT_OK(peer->WaitFor({{"activated", "1"}, {"listening", "1"}}, 10000))
            << peer->Errors().toStdString();
        return peer;
    }
};

// A stock desktop install: /etc/hosts maps the host's own name to 127.0.1.1.
class LocalAddressEndToEnd : public TestHosts {
protected:
    void SetUp() override {
        TestHosts::SetUp();
        if (IsSkipped())
            return;
        name_ = QStringLiteral("desk-") + prefix_;
        // ip netns exec puts /etc/netns/NS/hosts in the place of /etc/hosts.
        hostsDir_ = QStringLiteral("/etc/netns/") + ns("a");
        ASSERT_TRUE(QDir().mkpath(hostsDir_));
        QFile hosts(hostsDir_ + QStringLiteral("/hosts"));
        ASSERT_TRUE(hosts.open(QIODevice::WriteOnly));
        hosts.write("127.0.0.1\tlocalhost\n127.0.1.1\t" + name_.toLatin1() + "\n");
    }
    void TearDown() override {
        if (!hostsDir_.isEmpty())
            QDir(hostsDir_).removeRecursively();
    }

    // Runs the rest of the command line under the host name `name_`, in a UTS namespace of its own.
    QStringList AsNamedHost() const {
        return {QStringLiteral("unshare"),
                QStringLiteral("--uts"),
                QStringLiteral("sh"),
                QStringLiteral("-c"),
                QStringLiteral("hostname \"$0\" && exec \"$@\""),
                name_};
    }

    QString name_;
    QString hostsDir_;
};

TEST_F(LocalAddressEndToEnd, NameOnLoopbackShowsTheNetworkAddressAndCallsWithIt) {
    RunCommand(QStringLiteral("ip"),
               {"-n", ns("a"), "route", "add", "default", "via", "198.18.0.254", "dev", "eth0"});
    // The host shows the fault: its name resolves to 127.0.1.1 alone.
    EXPECT_EQ(RunCommand(QStringLiteral("ip"), QStringList{"netns", "exec", ns("a")} +
                                                   AsNamedHost() +
                                                   QStringList{"getent", "hosts", name_})
                  .simplified(),
              "127.0.1.1 " + name_);

    // No caller ID set: the local address is the default.
    auto alice = Start(ns("a"), "[Settings]\r\nMessage=Alice is away\r\n", AsNamedHost());
    EXPECT_OK(
        alice->WaitFor({{"localip", kAlice}, {"hostname", name_}, {"callerid_setting", kAlice}}))
        << alice->State().value("localip").toStdString();
    auto bob = Start(ns("b"), "[Settings]\r\nCallerID=Bob\r\n");

    EXPECT_OK(alice->Command("type " + kBob));
    EXPECT_OK(alice->Command("click call"));
    EXPECT_OK(bob->WaitFor({{"ringing", "1"}, {"callerid", kAlice + " calling..."}}));
    EXPECT_OK(bob->Command("click call"));
    EXPECT_OK(alice->WaitFor({{"link", "1"}, {"voicetarget", kBob}}));
}

// Alice is busy placing a call that nobody answers; Carol floods her with call requests. Every
// request of a busy side is answered with its message, 2047 two-byte characters here.
class BusyReplyFlood : public TestHosts {
protected:
    struct Traffic {
        qint64 in = 0, out = 0;
    };

    // Bytes received and sent by a host's network interface, headers included.
    Traffic Counters(const QString& host) {
        const QJsonArray links = QJsonDocument::fromJson(RunCommand(QStringLiteral("ip"),
                                                                    {"-n", host, "-s", "-j", "link",
                                                                     "show", "dev", "eth0"})
                                                             .toUtf8())
                                     .array();
        const QJsonObject stats = links.at(0).toObject().value("stats64").toObject();
        return {stats.value("rx").toObject().value("bytes").toInteger(),
                stats.value("tx").toObject().value("bytes").toInteger()};
    }

    // One flood; prints and returns Alice's bytes out per byte in.
    double Flood(const char* what, int seconds, int rate, const QStringList& sources) {
        const Traffic before = Counters(ns("a"));
        const QString output = RunCommand(
            QStringLiteral("ip"),
            QStringList{"netns", "exec", ns("c"), qEnvironmentVariable("VOCALYN_REQUEST_FLOOD"),
                        kAlice, QString::number(seconds), QString::number(rate)} +
                sources);
        const Traffic after = Counters(ns("a"));
        const State flood = PeerProcess::ParsePairs(output.trimmed());
        const double in = double(after.in - before.in), out = double(after.out - before.out);
        const double ratio = in > 0 ? out / in : 0;
        const qint64 replies = flood.value("replies").toLongLong();
        const double elapsed_s = flood.value("elapsed_ms").toDouble() / 1000;
        std::cout << "reply flood, " << what << ": " << output.trimmed().toStdString()
                  << "; Alice's interface in=" << qint64(in) << " out=" << qint64(out)
                  << " bytes, out/in=" << ratio << ", payload out/in="
                  << flood.value("reply_bytes").toDouble() /
                         std::max(1.0, flood.value("sent_bytes").toDouble())
                  << std::endl;
        EXPECT_GT(flood.value("sent").toLongLong(), 0);
        // One reply a second to each source, twenty a second in all.
        EXPECT_LE(replies, qint64(std::min<double>(sources.isEmpty() ? 1 : sources.size(), 20) *
                                  (elapsed_s + 1.5)));
        EXPECT_GE(replies, 1) << "the busy side gave no reply at all";
        return ratio;
    }
};

TEST_F(BusyReplyFlood, RepliesStayFewerThanTheRequestsBytes) {
    QByteArray message;
    for (int i = 0; i < 2047; ++i)
        message += "\xc3\xbc"; // u with diaeresis: 4094 bytes on the wire
    auto alice = Start(ns("a"), "[Settings]\r\nMessage=" + message + "\r\n");
    EXPECT_OK(alice->Command("type " + kBob)); // nobody answers there
    EXPECT_OK(alice->Command("click call"));
    EXPECT_OK(alice->WaitFor({{"busy", "1"}, {"dialog", "shown"}}));

    EXPECT_LE(Flood("one source, 1000/s", 3, 1000, {}), 1.0);
    EXPECT_LE(Flood("one source, full speed", 2, 0, {}), 1.0);

    // Forged senders: fifty addresses of Carol's, in turn.
    QByteArray batch;
    QStringList sources;
    for (int i = 100; i < 150; ++i) {
        sources << QStringLiteral("198.18.0.%1").arg(i);
        batch += "addr add " + sources.last().toLatin1() + "/24 dev eth0\n";
    }
    RunCommand(QStringLiteral("ip"), {"-n", ns("c"), "-batch", "-"}, batch);
    // The limits in all hold the replies to 20 a second and 32 KiB a second, whatever the number
    // of senders.
    EXPECT_LE(Flood("50 sources, 1000/s", 3, 1000, sources), 1.0);
    EXPECT_LE(Flood("50 sources, full speed", 2, 0, sources), 1.0);

    // Alice is still busy, still waiting for her call, and still answers.
    EXPECT_OK(alice->WaitFor({{"busy", "1"}, {"dialog", "shown"}, {"label", "Calling..."}}));
}

} // namespace
