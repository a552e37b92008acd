#include "app/CallWindowActions.h"

#include "app/Platform.h"
#include "app/TfrmMain.h"
#include "base/Error.h"
#include "base/Log.h"
#include "call/TfrmCalling.h"
#include "net/DottedAddress.h"
#include "net/Ports.h"
#include "voice/TfrmCCN.h"
#include "widgets/ErrorReport.h"
#include "widgets/FlatButton.h"
#include "widgets/MessageBoxes.h"
#include "widgets/RxDice.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

namespace vocalyn {

CallWindowActions::CallWindowActions(TfrmMain& window, Platform& platform)
    : w_(window), platform_(platform), lookups_(*platform.sockets) {}

void CallWindowActions::Send(quint32 address, const QByteArray& payload) {
    w_.UDPClient.Host = net::DottedText(address);
    w_.UDPClient.SendText(payload);
}

void CallWindowActions::LookUp(const QString& host,
                               std::function<void(const call::LookupResult&)> done) {
    lookups_.Start(host, std::move(done));
}

void CallWindowActions::PrepareVoice() {
    // Connects the media terminal ahead of the call, so that its set-up (GStreamer, the
    // pipelines it builds in advance) is not between the answer and the first sound. Nothing is
    // captured or sent until a voice link starts. A terminal that cannot be connected is
    // reported when the call starts.
    try {
        if (w_.frmCCN && !w_.frmCCN->ccn->Connected())
            w_.frmCCN->ccn->DefaultInterface();
    } catch (...) {
        LogSwallowed(lcApp(), "connecting the media terminal ahead");
    }
}

void CallWindowActions::StartVoice(quint32 address) {
    if (!w_.frmCCN)
        throw Error(QStringLiteral("The media terminal window does not exist"));
    w_.VoiceLink = std::make_unique<voice::TVOIPMedia>(*w_.frmCCN->ccn);
    w_.VoiceLink->SetRemotePort(net::kVoicePort);
    w_.VoiceLink->SetLocalPort(net::kVoicePort);
    w_.VoiceLink->SetRemoteHost(net::DottedText(address));
    w_.VoiceLink->Start();
}

void CallWindowActions::StopVoice() {
    // The link goes even when stopping fails.
    std::unique_ptr<voice::TVOIPMedia> link = std::move(w_.VoiceLink);
    if (link)
        link->Stop();
}

void CallWindowActions::ToggleMute() {
    if (w_.VoiceLink)
        w_.VoiceLink->ToggleMute();
}

void CallWindowActions::StartVideo(quint32 address) {
    // The address as looked up once for the call: no frame waits on a name server.
    w_.UDPClient1.Host = net::DottedText(address);
    w_.SendingVideo = true;
}

void CallWindowActions::StopVideo() {
    w_.SendingVideo = false;
}

QString CallWindowActions::PlayTone() {
    try {
        w_.MediaPlayer1.Close();
        w_.MediaPlayer1.FileName = w_.Settings.RingTone;
        w_.MediaPlayer1.Open();
        w_.MediaPlayer1.Play();
        return {};
    } catch (const Error& error) {
        return error.message();
    }
}

void CallWindowActions::StopTone() {
    if (w_.MediaPlayer1.opened())
        w_.MediaPlayer1.Stop();
}

void CallWindowActions::CloseTone() {
    w_.MediaPlayer1.Close();
}

void CallWindowActions::Alert(quint32 caller, const QString& callerID, bool tonePlaying) {
    QApplication::alert(&w_);
    w_.edtHostName->setText(net::DottedText(caller));
    // A screen reader speaks the caller-ID line ("... calling...") at once.
    QAccessibleEvent spoken(w_.lblCallerID, QAccessible::Alert);
    QAccessible::updateAccessibility(&spoken);
    if (platform_.callNotifier)
        platform_.callNotifier->ShowIncoming(callerID, tonePlaying);
}

void CallWindowActions::WithdrawAlert() {
    if (platform_.callNotifier)
        platform_.callNotifier->Withdraw();
}

void CallWindowActions::ShowCallerLine(const QString& text) {
    w_.lblCallerID->setText(text);
}

void CallWindowActions::ShowCalling() {
    call::TfrmCalling* dialog = w_.frmCalling;
    if (!dialog)
        return;
    dialog->RxDice1->SetRotate(true);
    dialog->Label1->setText(QStringLiteral("Calling..."));
    // Modal over the main window, but without an event loop of its own: the call goes on in
    // the window's loop, one event at a time.
    dialog->open();
}

void CallWindowActions::ShowRefusal(const QString& text) {
    if (call::TfrmCalling* dialog = w_.frmCalling) {
        dialog->RxDice1->SetRotate(false);
        dialog->Label1->setText(text);
    }
}

void CallWindowActions::CloseCallingDialog() {
    if (call::TfrmCalling* dialog = w_.frmCalling) {
        // A closed dialog's die would only spin unseen.
        dialog->RxDice1->SetRotate(false);
        if (dialog->isVisible())
            dialog->Close();
    }
}

void CallWindowActions::ShowStatus(const QString& text) {
    w_.SetCallStatus(text);
}

void CallWindowActions::ReportError(const QString& text, bool focusHost) {
    // After the event that failed, from the window's own loop: a message box runs a loop of its
    // own, and the call must not be in the middle of a step while it does.
    QMetaObject::invokeMethod(
        &w_,
        [window = QPointer<TfrmMain>(&w_), text, focusHost] {
            if (!window)
                return;
            if (!focusHost) {
                ShowErrorReport(text);
                return;
            }
            ShowErrorBox(window, text);
            if (window)
                window->FocusHostField();
        },
        Qt::QueuedConnection);
}

void CallWindowActions::Changed() {
    const call::CallSession& session = w_.Session();
    const bool inCall = session.InCall();
    const call::CallState state = session.State();
    w_.btnCall->setEnabled(state == call::CallState::Idle || state == call::CallState::Ringing ||
                           state == call::CallState::RingTimeOver);
    w_.btnEnd->setEnabled(inCall);
    w_.btnMute->setEnabled(inCall);
    w_.btnExit->setEnabled(!inCall);
    w_.btnMute->setText(session.Muted() ? QStringLiteral("*") : QString());
    // What the call had to say goes with it.
    if (state == call::CallState::Idle)
        w_.SetCallStatus(QString());
    w_.DrawStatus();
    // Nobody touches the keyboard in a video call; the screen must not blank under it.
    if (platform_.screenSaver) {
        if (inCall)
            platform_.screenSaver->Inhibit(QStringLiteral("In a call"));
        else
            platform_.screenSaver->Release();
    }
}

} // namespace vocalyn
