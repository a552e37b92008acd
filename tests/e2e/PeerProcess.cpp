#include "tests/e2e/PeerProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QUrl>

namespace vocalyn::test {

PeerProcess::PeerProcess(const QString& ns, const QByteArray& settings, const QStringList& options,
                         const QStringList& wrapper) {
    QFile file(dataDir_.filePath(QStringLiteral("Settings.ini")));
    if (file.open(QIODevice::WriteOnly))
        file.write(settings);
    file.close();
    // An address book that exists, so that its window has nothing to complain about.
    QFile(dataDir_.filePath(QStringLiteral("IPAddress.dat"))).open(QIODevice::WriteOnly);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process_.setProcessEnvironment(environment);
    process_.start(QStringLiteral("ip"),
                   QStringList{QStringLiteral("netns"), QStringLiteral("exec"), ns} + wrapper +
                       QStringList{qEnvironmentVariable("VOCALYN_PEER"), dataDir_.path()} +
                       options);
    process_.waitForStarted(5000);
}

PeerProcess::~PeerProcess() {
    if (process_.state() == QProcess::NotRunning)
        return;
    Command(QStringLiteral("quit"), 2000);
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

QString PeerProcess::Command(const QString& line, int limit_ms) {
    process_.write(line.toUtf8() + '\n');
    const QDeadlineTimer deadline(limit_ms);
    while (!process_.canReadLine()) {
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
            return {};
        process_.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    }
    return QString::fromUtf8(process_.readLine()).trimmed();
}

QString PeerProcess::WaitFor(const QMap<QString, QString>& wanted, int limit_ms) {
    QString line = QStringLiteral("wait ") + QString::number(limit_ms);
    for (auto item = wanted.cbegin(); item != wanted.cend(); ++item)
        line += QLatin1Char(' ') + item.key() + QLatin1Char('=') +
                QString::fromUtf8(QUrl::toPercentEncoding(item.value()));
    return Command(line, limit_ms + 5000);
}

QMap<QString, QString> PeerProcess::State() {
    const QString answer = Command(QStringLiteral("state"));
    return answer.startsWith(QLatin1String("state ")) ? ParsePairs(answer.mid(6))
                                                      : QMap<QString, QString>{};
}

QString PeerProcess::Errors() {
    return QString::fromUtf8(process_.readAllStandardError());
}

QMap<QString, QString> PeerProcess::ParsePairs(const QString& text) {
    QMap<QString, QString> pairs;
    for (const QString& pair : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals > 0)
            pairs.insert(pair.left(equals),
                         QUrl::fromPercentEncoding(pair.mid(equals + 1).toUtf8()));
    }
    return pairs;
}

QMap<QString, QString> PeerProcess::Ask(const QString& command) {
    const QString answer = Command(command);
    const qsizetype blank = answer.indexOf(QLatin1Char(' '));
    return blank < 0 ? QMap<QString, QString>{} : ParsePairs(answer.mid(blank + 1));
}

double PeerProcess::Value(const QMap<QString, QString>& pairs, const char* key) {
    return pairs.value(QLatin1String(key), QStringLiteral("-1")).toDouble();
}

} // namespace vocalyn::test
