#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace vocalyn::test {

// One copy of the program (vocalyn_peer) running on a test host, spoken to through its command
// console (PeerConsole.h). Every exchange is bounded in time.
class PeerProcess {
public:
    // Starts the peer in network namespace `ns` with its own Settings.ini; `options` follow the
    // data directory on its command line (--voice MICROPHONE). A `wrapper` command, when given,
    // runs in the namespace and starts the peer with the arguments it is given.
    PeerProcess(const QString& ns, const QByteArray& settings, const QStringList& options = {},
                const QStringList& wrapper = {});
    ~PeerProcess(); // asks the peer to quit, then kills it if it lingers

    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // Sends one command line and returns the peer's one-line answer ("" on timeout).
    QString Command(const QString& line, int limit_ms = 5000);
    // Waits in the peer until every key has its value; "ok" or "timeout <state>".
    QString WaitFor(const QMap<QString, QString>& wanted, int limit_ms = 3000);
    QMap<QString, QString> State();
    // Everything the peer wrote on its error output so far, for failure messages.
    QString Errors();

    // The key=value pairs of a command's answer, after its first word.
    QMap<QString, QString> Ask(const QString& command);

    static QMap<QString, QString> ParsePairs(const QString& text);
    // A pair's value as a number; -1 when the key is missing.
    static double Value(const QMap<QString, QString>& pairs, const char* key);

private:
    QTemporaryDir dataDir_;
    QProcess process_;
};

} // namespace vocalyn::test
