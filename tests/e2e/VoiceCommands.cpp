#include "tests/e2e/VoiceCommands.h"

#include "tests/e2e/PeerConsole.h"
#include "tests/e2e/TappedMediaTerm.h"

#include <QFile>
#include <QRegularExpression>

namespace vocalyn::test {

namespace {

QString Ms(double value) {
    return QString::number(value, 'f', 2);
}

QString Times(const std::vector<double>& times_ms) {
    QStringList texts;
    for (const double time : times_ms)
        texts << Ms(time);
    return texts.join(QLatin1Char(','));
}

// VmRSS from /proc/self/status, in kB.
QString ResidentMemory_kB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return QStringLiteral("0");
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("VmRSS:\\s*(\\d+)"))
                                              .match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1) : QStringLiteral("0");
}

} // namespace

void AddVoiceCommands(PeerConsole& console, const TappedMediaTerm& terminal) {
    const VoiceTap& tap = terminal.tap();
    console.AddCommand(QStringLiteral("heard"), [&tap](const QString& arguments) {
        const double window_ms = arguments.toDouble();
        const double now = VoiceTap::Now_ms();
        const HeardSound sound = tap.Heard(now - window_ms, now);
        return QStringLiteral("heard freq=%1 rms=%2 played=%3 loudend=%4 now=%5")
            .arg(Ms(sound.frequency_Hz), Ms(sound.rms), Ms(sound.played_ms), Ms(tap.LoudUntil_ms()),
                 Ms(now));
    });
    console.AddCommand(QStringLiteral("quiet"), [&tap](const QString& arguments) {
        const QStringList times = arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (times.size() != 2)
            return QStringLiteral("error usage: quiet FROM_MS TO_MS");
        return QStringLiteral("quiet ms=") +
               Ms(tap.LongestQuiet_ms(times[0].toDouble(), times[1].toDouble()));
    });
    console.AddCommand(QStringLiteral("voice"), [&terminal, &tap](const QString&) {
        return QStringLiteral("voice sent=%1 accepted=%2 started=%3 stopped=%4 rss=%5 now=%6")
            .arg(tap.packetsSent())
            .arg(tap.packetsAccepted())
            .arg(Ms(terminal.startedSending_ms()), Ms(terminal.stoppedSending_ms()),
                 ResidentMemory_kB(), Ms(VoiceTap::Now_ms()));
    });
    console.AddCommand(QStringLiteral("setup"), [&terminal, &tap](const QString&) {
        return QStringLiteral("setup init=%1 receiving=%2 sending=%3 firstsent=%4 firstaccepted=%5")
            .arg(Ms(terminal.initialised_ms()), Ms(terminal.startedReceiving_ms()),
                 Ms(terminal.startedSending_ms()), Ms(tap.firstSent_ms()),
                 Ms(tap.firstAccepted_ms()));
    });
    console.AddCommand(QStringLiteral("clicks"), [&tap](const QString&) {
        return QStringLiteral("clicks spoken=%1 heard=%2")
            .arg(Times(tap.SpokenClicks_ms()), Times(tap.HeardClicks_ms()));
    });
    console.AddCommand(QStringLiteral("latency"), [&tap](const QString&) {
        return QStringLiteral("latency ") + tap.LatencyReport();
    });
}

} // namespace vocalyn::test
