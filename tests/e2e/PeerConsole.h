#pragma once

#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>

namespace vocalyn {
struct Windows;
namespace fakes {
class RecordingMediaTerm;
}
} // namespace vocalyn

namespace vocalyn::test {

// Drives one copy of the program from its standard input, one command per line, and answers
// each command with exactly one line on its standard output. Commands keep being read inside
// modal dialogs and message boxes, so a test can work both sides of a call:
//
//   type TEXT             puts TEXT (the rest of the line) into the host field      -> ok
//   click CONTROL         presses call, end, mute, exit, cancel (the calling
//                         dialog's) or ok (the message box shown); the press runs
//                         after the answer, so one that opens a modal loop does not
//                         hold up the next command                                  -> ok | error
//                         ...
//   send ADDRESS TEXT     sends TEXT as one signalling datagram to ADDRESS           -> ok | error
//   ... state                 the state as key=value pairs                              -> state
//   k=v ... wait MS K=V [K=V...]  waits at most MS milliseconds until every key has its
//                         value                                                     -> ok | timeout
//                         k=v ...
//   quit                  closes the main window, which ends the program            -> bye
//
// Values in answers and in "wait" are percent-encoded (RFC 3986), so they hold no blanks.
// State keys: activated listening (the signalling listener is open) busy ringing muted video link
// (0 or 1); call end mute exit (the buttons, 1 when enabled); timer (ring timer running); dialog
// (shown, hidden); die (rolling, still); label (the dialog's text); callerid; host (the host
// field); mutecaption; videotarget; voicetarget (the voice link's last send target); terminalcalls
// (how many terminal calls so far); box (the text of the message box shown, empty when none);
// localip and hostname (the labels of the local address and name); callerid_setting (the caller
// ID held).
class PeerConsole : public QObject {
    Q_OBJECT
public:
    PeerConsole(Windows& windows, fakes::RecordingMediaTerm& terminal);

    QMap<QString, QString> State() const;

    // A further command for copies with extra equipment (a real media terminal, for one): the
    // handler gets the rest of the line and returns the one-line answer.
    using CommandHandler = std::function<QString(const QString& arguments)>;
    void AddCommand(const QString& name, CommandHandler handler);

private:
    void ReadInput();
    void RunQueued();
    // The answer, or nothing while a wait is still open.
    std::optional<QString> Execute(const QString& line);
    QString Click(const QString& control);
    QString Send(const QString& arguments);
    std::optional<QString> StartWait(const QString& arguments);
    void CheckWait();
    void Answer(const QString& line);
    static QString Encode(const QMap<QString, QString>& state);

    struct Wait {
        QMap<QString, QString> wanted;
        QElapsedTimer clock;
        qint64 limit_ms = 0;
    };

    Windows& windows_;
    fakes::RecordingMediaTerm& terminal_;
    QSocketNotifier input_;
    QByteArray partial_;
    QStringList queued_;
    std::optional<Wait> wait_;
    QTimer waitTimer_;
    QMap<QString, CommandHandler> extraCommands_;
};

} // namespace vocalyn::test
