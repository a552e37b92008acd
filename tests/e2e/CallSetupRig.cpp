#include "tests/e2e/CallSetupRig.h"

#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>

namespace vocalyn::test {

namespace {

const QString kBob = QStringLiteral("198.18.0.2");
// A live source in 10 ms buffers, as a sound card delivers them; Alice and Bob at different
// pitches.
const QString kAliceVoice =
    QStringLiteral("audiotestsrc freq=1000 is-live=true samplesperbuffer=480");
const QString kBobVoice = QStringLiteral("audiotestsrc freq=600 is-live=true samplesperbuffer=480");
// Long enough for the last voice packet and video frame in flight to leave after End.
constexpr int kAfterEnd_ms = 400;

QByteArray Settings(const char* name) {
    return QByteArray("[Settings]\r\nRingTone=ring.wav\r\nRingTime=20000\r\nMessage=away\r\n"
                      "CallerID=") +
           name + "\r\n";
}

QMap<QString, QString> Ask(PeerProcess& peer, const QString& command) {
    const QString answer = peer.Command(command);
    return PeerProcess::ParsePairs(answer.mid(answer.indexOf(QLatin1Char(' ')) + 1));
}

std::vector<double> Times(const QString& list) {
    std::vector<double> times;
    for (const QString& time : list.split(QLatin1Char(','), Qt::SkipEmptyParts))
        times.push_back(time.toDouble());
    return times;
}

// The first of `times` after `from_ms`, or 0.
double FirstAfter(const std::vector<double>& times, double from_ms) {
    for (const double time : times)
        if (time > from_ms)
            return time;
    return 0;
}

// `to_ms` - `from_ms` when both happened, else -1.
double Interval(double from_ms, double to_ms) {
    return from_ms > 0 && to_ms > 0 ? to_ms - from_ms : -1;
}

void Pause(int ms) {
    QThread::msleep(static_cast<unsigned long>(ms));
}

} // namespace

CallSetupRig::CallSetupRig(const QString& prefix, const QString& rtpTool) {
    alice_ = std::make_unique<PeerProcess>(prefix + QStringLiteral("-a"), Settings("Alice"),
                                           QStringList{QStringLiteral("--voice"), kAliceVoice});
    bob_ = std::make_unique<PeerProcess>(prefix + QStringLiteral("-b"), Settings("Bob"),
                                         QStringList{QStringLiteral("--voice"), kBobVoice});
    for (auto [tap, host] : {std::pair{&aliceTap_, "-a"}, std::pair{&bobTap_, "-b"}}) {
        tap->process.start(QStringLiteral("ip"),
                           QStringList{QStringLiteral("netns"), QStringLiteral("exec"),
                                       prefix + QLatin1String(host), rtpTool,
                                       QStringLiteral("watch"), QStringLiteral("600000")});
    }
}

CallSetupRig::~CallSetupRig() {
    for (Tap* tap : {&aliceTap_, &bobTap_}) {
        tap->process.terminate();
        if (!tap->process.waitForFinished(2000)) {
            tap->process.kill();
            tap->process.waitForFinished(2000);
        }
    }
}

QString CallSetupRig::Ready() {
    const QMap<QString, QString> ready{{"activated", "1"}, {"listening", "1"}};
    if (alice_->WaitFor(ready, 10000) != QLatin1String("ok"))
        return QStringLiteral("Alice did not start: ") + alice_->Errors();
    if (bob_->WaitFor(ready, 10000) != QLatin1String("ok"))
        return QStringLiteral("Bob did not start: ") + bob_->Errors();
    for (Tap* tap : {&aliceTap_, &bobTap_}) {
        const QDeadlineTimer deadline(5000);
        while (!tap->pending.startsWith("ready\n")) {
            if (deadline.hasExpired() || tap->process.state() == QProcess::NotRunning)
                return QStringLiteral("a tap on the cable did not start: ") +
                       QString::fromLocal8Bit(tap->process.readAllStandardError());
            tap->process.waitForReadyRead(100);
            tap->pending += tap->process.readAllStandardOutput();
        }
        tap->pending.remove(0, 6);
    }
    return {};
}

void CallSetupRig::Drain(Tap& tap) {
    while (tap.process.waitForReadyRead(10))
        tap.pending += tap.process.readAllStandardOutput();
    tap.pending += tap.process.readAllStandardOutput();
    qsizetype end;
    while ((end = tap.pending.indexOf('\n')) >= 0) {
        const QByteArray line = tap.pending.left(end);
        tap.pending.remove(0, end + 1);
        bool ok = false;
        const double sent_ms = line.split(' ').value(0).toDouble(&ok);
        if (ok)
            tap.sent_ms.push_back(sent_ms);
    }
}

double CallSetupRig::QuietAfter(const Tap& tap, double answer_ms, double end_ms) {
    double last = 0;
    bool during = false;
    for (const double time : tap.sent_ms) {
        during = during || (time > answer_ms && time < end_ms);
        if (time > end_ms && time <= end_ms + kAfterEnd_ms)
            last = time;
    }
    // A tap that saw nothing of the call itself cannot tell silence either.
    if (answer_ms <= 0 || end_ms <= 0 || !during)
        return -1;
    return last > 0 ? last - end_ms : 0;
}

std::optional<CallSetupTimes> CallSetupRig::Call(int ring_ms, QString& why) {
    if (!typed_ && alice_->Command(QStringLiteral("type ") + kBob) != QLatin1String("ok")) {
        why = QStringLiteral("Alice takes no commands");
        return std::nullopt;
    }
    typed_ = true;
    if (alice_->Command(QStringLiteral("click call")) != QLatin1String("ok") ||
        bob_->WaitFor({{"ringing", "1"}}) != QLatin1String("ok")) {
        why = QStringLiteral("Bob did not ring");
        return std::nullopt;
    }
    Pause(ring_ms);
    if (bob_->Command(QStringLiteral("click call")) != QLatin1String("ok")) {
        why = QStringLiteral("Bob could not answer");
        return std::nullopt;
    }
    // Until both hear and see each other, or a bound passes.
    const QDeadlineTimer deadline(5000);
    QMap<QString, QString> aliceTiming, bobTiming;
    double answer_ms = 0, heardByBob = 0, heardByAlice = 0;
    for (;;) {
        aliceTiming = Ask(*alice_, QStringLiteral("timing"));
        bobTiming = Ask(*bob_, QStringLiteral("timing"));
        answer_ms = bobTiming.value("callpress").toDouble();
        heardByBob =
            FirstAfter(Times(Ask(*bob_, QStringLiteral("clicks")).value("heard")), answer_ms);
        heardByAlice =
            FirstAfter(Times(Ask(*alice_, QStringLiteral("clicks")).value("heard")), answer_ms);
        const bool all = heardByBob > 0 && heardByAlice > 0 &&
                         aliceTiming.value("picture").toDouble() > 0 &&
                         bobTiming.value("picture").toDouble() > 0;
        if (all || deadline.hasExpired())
            break;
        Pause(20);
    }
    const QMap<QString, QString> aliceSetup = Ask(*alice_, QStringLiteral("setup"));
    const QMap<QString, QString> bobSetup = Ask(*bob_, QStringLiteral("setup"));

    const bool aliceEnded = alice_->Command(QStringLiteral("click end")) == QLatin1String("ok");
    Pause(kAfterEnd_ms);
    const bool bobEnded = bob_->Command(QStringLiteral("click end")) == QLatin1String("ok");
    Pause(kAfterEnd_ms);
    const QMap<QString, QString> aliceEnd = Ask(*alice_, QStringLiteral("timing"));
    const QMap<QString, QString> bobEnd = Ask(*bob_, QStringLiteral("timing"));
    Drain(aliceTap_);
    Drain(bobTap_);
    if (!aliceEnded || !bobEnded ||
        alice_->WaitFor({{"busy", "0"}, {"link", "0"}}) != QLatin1String("ok") ||
        bob_->WaitFor({{"busy", "0"}, {"link", "0"}}) != QLatin1String("ok")) {
        why = QStringLiteral("the call did not end");
        return std::nullopt;
    }

    CallSetupTimes times;
    const double press_ms = aliceTiming.value("callpress").toDouble();
    times.ringing = Interval(press_ms, bobTiming.value("ringshown").toDouble());
    times.accept = Interval(answer_ms, aliceTiming.value("accept").toDouble());
    times.soundAtBob = Interval(answer_ms, heardByBob);
    times.soundAtAlice = Interval(answer_ms, heardByAlice);
    times.pictureAtBob = Interval(answer_ms, bobTiming.value("picture").toDouble());
    times.pictureAtAlice = Interval(answer_ms, aliceTiming.value("picture").toDouble());
    const double aliceEnd_ms = aliceEnd.value("endpress").toDouble();
    const double bobEnd_ms = bobEnd.value("endpress").toDouble();
    times.aliceQuiet = QuietAfter(aliceTap_, answer_ms, aliceEnd_ms);
    times.bobQuiet = QuietAfter(bobTap_, answer_ms, bobEnd_ms);

    // Where the time goes, each step from the answer.
    const auto step = [&](const char* name, double at_ms) {
        times.steps[name] = Interval(answer_ms, at_ms);
    };
    step("bob.link_built", bobSetup.value("init").toDouble());
    step("bob.receiving_started", bobSetup.value("receiving").toDouble());
    step("bob.sending_started", bobSetup.value("sending").toDouble());
    step("bob.first_packet_sent", bobSetup.value("firstsent").toDouble());
    step("alice.accept_received", aliceTiming.value("accept").toDouble());
    step("alice.link_built", aliceSetup.value("init").toDouble());
    step("alice.receiving_started", aliceSetup.value("receiving").toDouble());
    step("alice.sending_started", aliceSetup.value("sending").toDouble());
    step("alice.first_packet_sent", aliceSetup.value("firstsent").toDouble());
    step("bob.first_packet_let_in", bobSetup.value("firstaccepted").toDouble());
    step("bob.first_sound_played", heardByBob);
    step("alice.first_packet_let_in", aliceSetup.value("firstaccepted").toDouble());
    step("alice.first_sound_played", heardByAlice);
    return times;
}

Spread SpreadOf(std::vector<double> values) {
    Spread spread;
    if (values.empty())
        return spread;
    std::sort(values.begin(), values.end());
    spread.median = values.size() % 2
                        ? values[values.size() / 2]
                        : (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
    // Nearest rank: the smallest value with at least 95 % of the values at or below it.
    const std::size_t rank = (values.size() * 95 + 99) / 100;
    spread.p95 = values[std::max<std::size_t>(rank, 1) - 1];
    return spread;
}

} // namespace vocalyn::test
