#include "tests/e2e/PeerConsole.h"

#include "app/Startup.h"
#include "app/TfrmMain.h"
#include "base/Error.h"
#include "call/TfrmCalling.h"
#include "tests/fakes/RecordingMediaTerm.h"
#include "widgets/ErrorReport.h"
#include "widgets/FlatButton.h"
#include "widgets/RxDice.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include <unistd.h>

namespace vocalyn::test {

namespace {

QString Flag(bool value) {
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

QMessageBox* ShownBox() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    return nullptr;
}

// The host of the terminal's last "SetSendTarget(host, port)".
QString VoiceTarget(const QStringList& calls) {
    for (auto call = calls.crbegin(); call != calls.crend(); ++call) {
        if (call->startsWith(QStringLiteral("SetSendTarget("))) {
            const qsizetype open = call->indexOf(QLatin1Char('('));
            return call->mid(open + 1, call->lastIndexOf(QStringLiteral(", ")) - open - 1);
        }
    }
    return {};
}

} // namespace

PeerConsole::PeerConsole(Windows& windows, fakes::RecordingMediaTerm& terminal)
    : windows_(windows), terminal_(terminal), input_(STDIN_FILENO, QSocketNotifier::Read) {
    connect(&input_, &QSocketNotifier::activated, this, Guarded([this] { ReadInput(); }));
    waitTimer_.setInterval(10);
    connect(&waitTimer_, &QTimer::timeout, this, Guarded([this] { CheckWait(); }));
}

QMap<QString, QString> PeerConsole::State() const {
    TfrmMain& w = *windows_.frmMain;
    call::TfrmCalling& dialog = *windows_.frmCalling;
    const QMessageBox* box = ShownBox();
    return {
        {"activated", Flag(w.FormActivated())},
        {"listening", Flag(w.UDPServer.Active())},
        {"busy", Flag(w.Busy())},
        {"ringing", Flag(w.Ringing())},
        {"muted", Flag(w.MicMuted())},
        {"video", Flag(w.SendingVideo)},
        {"link", Flag(w.VoiceLink != nullptr)},
        {"call", Flag(w.btnCall->isEnabled())},
        {"end", Flag(w.btnEnd->isEnabled())},
        {"mute", Flag(w.btnMute->isEnabled())},
        {"exit", Flag(w.btnExit->isEnabled())},
        {"timer", Flag(w.Timer1.isActive())},
        {"dialog", dialog.isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden")},
        {"die", dialog.RxDice1->Rotate() ? QStringLiteral("rolling") : QStringLiteral("still")},
        {"label", dialog.Label1->text()},
        {"callerid", w.lblCallerID->text()},
        {"host", w.edtHostName->text()},
        {"mutecaption", w.btnMute->text()},
        {"videotarget", w.UDPClient1.Host},
        {"voicetarget", VoiceTarget(terminal_.calls)},
        {"terminalcalls", QString::number(terminal_.calls.size())},
        {"box", box ? box->text() : QString()},
        {"localip", w.lblIPAddress->text()},
        {"hostname", w.lblHostName->text()},
        {"callerid_setting", w.Settings.CallerID},
    };
}

void PeerConsole::AddCommand(const QString& name, CommandHandler handler) {
    extraCommands_.insert(name, std::move(handler));
}

void PeerConsole::ReadInput() {
    char chunk[4096];
    const ssize_t count = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (count <= 0) {
        // The driver has gone: nothing will tell this copy to end any more.
        input_.setEnabled(false);
        windows_.frmMain->close();
        return;
    }
    partial_.append(chunk, count);
    qsizetype end;
    while ((end = partial_.indexOf('\n')) >= 0) {
        queued_ << QString::fromUtf8(partial_.left(end)).trimmed();
        partial_.remove(0, end + 1);
    }
    RunQueued();
}

void PeerConsole::RunQueued() {
    // One command at a time: a wait holds back the commands behind it.
    while (!wait_ && !queued_.isEmpty()) {
        const QString line = queued_.takeFirst();
        if (line.isEmpty())
            continue;
        if (const std::optional<QString> answer = Execute(line))
            Answer(*answer);
    }
}

std::optional<QString> PeerConsole::Execute(const QString& line) {
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    const QString command = line.left(blank);
    const QString rest = blank < 0 ? QString() : line.mid(blank + 1);
    TfrmMain& w = *windows_.frmMain;
    if (command == QLatin1String("type")) {
        w.edtHostName->setText(rest);
        return QStringLiteral("ok");
    }
    if (command == QLatin1String("click"))
        return Click(rest);
    if (command == QLatin1String("send"))
        return Send(rest);
    if (command == QLatin1String("state"))
        return QStringLiteral("state ") + Encode(State());
    if (command == QLatin1String("wait"))
        return StartWait(rest);
    if (command == QLatin1String("quit")) {
        QMetaObject::invokeMethod(
            &w, [&w] { w.close(); }, Qt::QueuedConnection);
        return QStringLiteral("bye");
    }
    if (extraCommands_.contains(command))
        return extraCommands_.value(command)(rest);
    return QStringLiteral("error unknown command: ") + command;
}

QString PeerConsole::Click(const QString& control) {
    TfrmMain& w = *windows_.frmMain;
    call::TfrmCalling& dialog = *windows_.frmCalling;
    if (control == QLatin1String("ok")) {
        QMessageBox* box = ShownBox();
        if (!box)
            return QStringLiteral("error no message box is shown");
        box->done(QMessageBox::Ok);
        return QStringLiteral("ok");
    }
    const QMap<QString, QAbstractButton*> buttons{
        {"call", w.btnCall},          {"end", w.btnEnd}, {"mute", w.btnMute}, {"exit", w.btnExit},
        {"cancel", dialog.btnCancel},
    };
    QAbstractButton* button = buttons.value(control);
    if (!button)
        return QStringLiteral("error no such control: ") + control;
    if (!button->isEnabled() || !button->window()->isVisible())
        return QStringLiteral("error ") + control + QStringLiteral(" cannot be pressed now");
    // After the answer, so that a press that opens a modal loop returns control at once.
    QMetaObject::invokeMethod(
        button, [button] { button->click(); }, Qt::QueuedConnection);
    return QStringLiteral("ok");
}

QString PeerConsole::Send(const QString& arguments) {
    const qsizetype blank = arguments.indexOf(QLatin1Char(' '));
    if (blank <= 0)
        return QStringLiteral("error usage: send ADDRESS TEXT");
    TfrmMain& w = *windows_.frmMain;
    try {
        w.UDPClient.Host = arguments.left(blank);
        w.UDPClient.SendText(arguments.mid(blank + 1).toLocal8Bit());
    } catch (const Error& e) {
        return QStringLiteral("error ") + e.message().simplified();
    }
    return QStringLiteral("ok");
}

std::optional<QString> PeerConsole::StartWait(const QString& arguments) {
    const QStringList words = arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    bool isNumber = false;
    Wait wait;
    wait.limit_ms = words.value(0).toLongLong(&isNumber);
    if (!isNumber || words.size() < 2)
        return QStringLiteral("error usage: wait MS KEY=VALUE...");
    for (const QString& pair : words.mid(1)) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return QStringLiteral("error not a KEY=VALUE pair: ") + pair;
        wait.wanted.insert(pair.left(equals),
                           QUrl::fromPercentEncoding(pair.mid(equals + 1).toUtf8()));
    }
    wait.clock.start();
    wait_ = std::move(wait);
    waitTimer_.start();
    CheckWait();
    return std::nullopt;
}

void PeerConsole::CheckWait() {
    if (!wait_)
        return;
    const QMap<QString, QString> state = State();
    bool met = true;
    for (auto wanted = wait_->wanted.cbegin(); wanted != wait_->wanted.cend(); ++wanted)
        met = met && state.value(wanted.key()) == wanted.value();
    if (!met && wait_->clock.elapsed() < wait_->limit_ms)
        return;
    wait_.reset();
    waitTimer_.stop();
    Answer(met ? QStringLiteral("ok") : QStringLiteral("timeout ") + Encode(state));
    RunQueued();
}

void PeerConsole::Answer(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(STDOUT_FILENO, bytes.constData() + written,
                                      static_cast<size_t>(bytes.size() - written));
        if (count <= 0)
            return;
        written += count;
    }
}

QString PeerConsole::Encode(const QMap<QString, QString>& state) {
    QStringList pairs;
    for (auto item = state.cbegin(); item != state.cend(); ++item)
        pairs << item.key() + QLatin1Char('=') +
                     QString::fromUtf8(QUrl::toPercentEncoding(item.value()));
    return pairs.join(QLatin1Char(' '));
}

} // namespace vocalyn::test
