// The main window's call handlers: signalling datagrams, the call, end and mute buttons, the
// ring timer and the calling dialog's Cancel.
#include "app/TfrmMain.h"

#include "app/Platform.h"
#include "base/Error.h"
#include "call/SignalMessage.h"
#include "call/TfrmCalling.h"
#include "net/DottedAddress.h"
#include "net/SocketLayer.h"
#include "voice/TfrmCCN.h"
#include "widgets/ErrorReport.h"
#include "widgets/FlatButton.h"
#include "widgets/MessageBoxes.h"
#include "widgets/RxDice.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>

namespace vocalyn {

namespace {

const QString kHostPlaceholder = QStringLiteral("Host Name or IP Address");
constexpr int kVoicePort = 8500;

// Signalling text is 8-bit in the locale's encoding.
QByteArray ToWire(const QString& text) {
    return text.toLocal8Bit();
}

QString FromWire(const QByteArray& bytes) {
    return QString::fromLocal8Bit(bytes);
}

// Connects the media terminal ahead of the call, so that its set-up (GStreamer, the pipelines it
// builds in advance) is not between the answer and the first sound. Nothing is captured or sent
// until a voice link starts. A terminal that cannot be connected is reported when the call
// starts, as before.
void ConnectTerminalAhead(voice::TfrmCCN* frmCCN) noexcept {
    try {
        if (frmCCN && !frmCCN->ccn->Connected())
            frmCCN->ccn->DefaultInterface();
    } catch (...) {
    }
}

} // namespace

void TfrmMain::ConnectCallHandlers() {
    connect(btnCall, &QAbstractButton::clicked, this, Guarded([this] { btnCallClick(); }));
    connect(btnEnd, &QAbstractButton::clicked, this, Guarded([this] { btnEndClick(); }));
    connect(btnMute, &QAbstractButton::clicked, this, Guarded([this] { btnMuteClick(); }));
    connect(&Timer1, &QTimer::timeout, this, Guarded([this] { Timer1Timer(); }));
    // Datagram handlers may throw: the listener drops that datagram and goes on.
    UDPServer.OnUDPRead = [this](net::TIdUDPServer& sender, const QByteArray& data,
                                 net::TIdSocketHandle& binding) {
        UDPServerUDPRead(sender, data, binding);
    };
}

void TfrmMain::SetCallingDialog(call::TfrmCalling& dialog) {
    frmCalling = &dialog;
    dialog.OnCancelCall = [this] { CancelPlacedCall(); };
}

call::TfrmCalling& TfrmMain::CallingDialog() const {
    if (!frmCalling)
        throw Error(QStringLiteral("The calling-status window does not exist"));
    return *frmCalling;
}

void TfrmMain::UDPServerUDPRead(net::TIdUDPServer&, const QByteArray& AData,
                                net::TIdSocketHandle& ABinding) {
    // The binding is reused for the next datagram; keep a copy of the sender.
    const QString sender = ABinding.SenderIP;
    const call::SignalMessage message = call::ClassifySignal(AData);
    switch (message.kind) {
    case call::SignalKind::CallRequest:
        CallRequestReceived(sender, FromWire(message.text));
        break;
    case call::SignalKind::Accept:
        AcceptReceived(sender);
        break;
    case call::SignalKind::Cancel:
        CancelReceived(sender);
        break;
    case call::SignalKind::Unanswered:
        UnansweredMessageReceived(sender, FromWire(message.text));
        break;
    }
}

void TfrmMain::CallRequestReceived(const QString& sender, const QString& callerID) {
    if (Busy) {
        SendUnansweredMessage(sender);
        return;
    }
    QApplication::alert(this);
    Ringing = true;
    edtHostName->setText(sender);
    QCoreApplication::processEvents();
    lblCallerID->setText(callerID + QStringLiteral(" calling..."));
    AnnounceCall(callerID);
    StartRingTimer();
    if (!Settings.RingTone.isEmpty()) {
        // A repeated request plays the tone again from its start.
        MediaPlayer1.Close();
        MediaPlayer1.FileName = Settings.RingTone;
        MediaPlayer1.Open();
        MediaPlayer1.Play();
    }
    QCoreApplication::processEvents();
    ConnectTerminalAhead(frmCCN);
}

void TfrmMain::StartRingTimer() {
    // A ring time of 0 (or less) never runs out.
    if (Settings.RingTime <= 0) {
        Timer1.stop();
        return;
    }
    // A request repeated while the ring time runs does not restart it.
    if (Timer1.isActive() && Timer1.interval() == Settings.RingTime)
        return;
    Timer1.start(Settings.RingTime);
}

bool TfrmMain::FromCalledPeer(const QString& sender) const {
    // As numbers: a request typed as "10.0.0.07" went to 10.0.0.7, which is how the answer's
    // sender reads.
    return placedCallAddress_ && net::DottedAddress(sender) == placedCallAddress_;
}

bool TfrmMain::AcceptExpectedFrom(const QString& sender) const {
    // Only the peer this side is calling may start a call: otherwise anyone on the network could
    // switch on the microphone and the camera with one datagram.
    return Busy && !Ringing && !VoiceLink && frmCalling && frmCalling->isVisible() &&
           FromCalledPeer(sender);
}

void TfrmMain::AcceptReceived(const QString& sender) {
    if (!AcceptExpectedFrom(sender))
        return;
    btnMute->setEnabled(true);
    btnEnd->setEnabled(true);
    btnExit->setEnabled(false);
    if (!frmCCN)
        throw Error(QStringLiteral("The media terminal window does not exist"));
    VoiceLink = std::make_unique<voice::TVOIPMedia>(*frmCCN->ccn);
    VoiceLink->SetRemotePort(kVoicePort);
    VoiceLink->SetLocalPort(kVoicePort);
    VoiceLink->SetRemoteHost(sender);
    CallingDialog().Close();
    QCoreApplication::processEvents();
    // The end button is already enabled: the user may have ended the call just now.
    if (!VoiceLink)
        return;
    VoiceLink->Start();
    UDPClient1.Host = edtHostName->text();
    SendingVideo = true;
}

void TfrmMain::CancelReceived(const QString& sender) {
    if (sender != edtHostName->text())
        return;
    Ringing = false;
    Timer1.stop();
    WithdrawCallAnnouncement();
    lblCallerID->clear();
    QCoreApplication::processEvents();
    if (!Settings.RingTone.isEmpty())
        MediaPlayer1.Close();
}

void TfrmMain::UnansweredMessageReceived(const QString& sender, const QString& text) {
    // Only the peer called may refuse: anyone else could put their own words in the dialog.
    if (!frmCalling || !FromCalledPeer(sender))
        return;
    frmCalling->RxDice1->SetRotate(false);
    frmCalling->Label1->setText(text);
}

void TfrmMain::SendUnansweredMessage(const QString& host) {
    // An empty datagram would only look like a read error to the receiver.
    if (Settings.Message.isEmpty())
        return;
    UDPClient.Host = host;
    // Resolved here so that the limit counts the address the reply really goes to.
    const QString address = platform_.sockets->LookUpHostAddress(host);
    const std::optional<quint32> number = net::DottedAddress(address);
    const QByteArray reply = ToWire(Settings.Message);
    if (!number || !UnansweredReplies.Allow(*number, reply.size()))
        return;
    UDPClient.SendTextTo(address, UDPClient.Port, reply);
}

void TfrmMain::btnCallClick() {
    if (edtHostName->text() == kHostPlaceholder) {
        ShowInformationBox(this, QStringLiteral("Please enter Host Name or IP Address First."));
        FocusHostField();
        return;
    }
    btnCall->setEnabled(false);
    Busy = true;
    if (Ringing)
        AnswerCall();
    else
        PlaceCall();
}

void TfrmMain::AnswerCall() {
    // Errors here go to the general error report; the steps already done stay done.
    Timer1.stop();
    WithdrawCallAnnouncement();
    if (!Settings.RingTone.isEmpty())
        MediaPlayer1.Stop();
    QCoreApplication::processEvents();
    const QString host = edtHostName->text();
    if (!frmCCN)
        throw Error(QStringLiteral("The media terminal window does not exist"));
    VoiceLink = std::make_unique<voice::TVOIPMedia>(*frmCCN->ccn);
    VoiceLink->SetRemotePort(kVoicePort);
    VoiceLink->SetLocalPort(kVoicePort);
    VoiceLink->SetRemoteHost(host);
    UDPClient.Host = host;
    UDPClient.SendText(call::kAccept);
    QCoreApplication::processEvents();
    VoiceLink->Start();
    btnMute->setEnabled(true);
    btnEnd->setEnabled(true);
    btnExit->setEnabled(false);
    UDPClient1.Host = host;
    SendingVideo = true;
}

void TfrmMain::PlaceCall() {
    try {
        UDPClient.Host = edtHostName->text();
        // Resolved once, here: the answer must come from the address the request went to.
        const QString address = platform_.sockets->LookUpHostAddress(UDPClient.Host);
        placedCallAddress_ = net::DottedAddress(address);
        UDPClient.SendTextTo(address, UDPClient.Port,
                             call::CallRequestPayload(ToWire(Settings.CallerID)));
        QCoreApplication::processEvents();
        ConnectTerminalAhead(frmCCN);
        call::TfrmCalling& dialog = CallingDialog();
        dialog.RxDice1->SetRotate(true);
        dialog.Label1->setText(QStringLiteral("Calling..."));
        // Returns when an "Accept" or the dialog's Cancel closes the dialog.
        dialog.exec();
    } catch (...) {
        placedCallAddress_.reset();
        ShowErrorBox(this, CurrentExceptionText());
        Busy = false;
        btnCall->setEnabled(true);
        FocusHostField();
    }
}

void TfrmMain::CancelPlacedCall() {
    btnCall->setEnabled(true);
    btnEnd->setEnabled(false);
    Timer1.stop();
    Busy = false;
    placedCallAddress_.reset();
    UDPClient.Host = edtHostName->text();
    UDPClient.SendText(call::kCancel);
    QCoreApplication::processEvents();
}

void TfrmMain::Timer1Timer() {
    Timer1.stop();
    WithdrawCallAnnouncement();
    btnEnd->setEnabled(false);
    btnCall->setEnabled(true);
    lblCallerID->clear();
    if (!Settings.RingTone.isEmpty())
        MediaPlayer1.Stop();
    QCoreApplication::processEvents();
    // Ringing stays set: until the caller cancels, the call button still answers.
    SendUnansweredMessage(edtHostName->text());
}

void TfrmMain::btnEndClick() {
    MicMuted = false;
    Busy = false;
    Ringing = false;
    WithdrawCallAnnouncement();
    btnMute->setText(QString());
    lblCallerID->clear();
    SendingVideo = false;
    btnCall->setEnabled(true);
    btnMute->setEnabled(false);
    btnEnd->setEnabled(false);
    placedCallAddress_.reset();
    // The link goes and the exit button comes back even when stopping fails.
    std::unique_ptr<voice::TVOIPMedia> link = std::move(VoiceLink);
    const auto finish = qScopeGuard([&] {
        link.reset();
        btnExit->setEnabled(true);
    });
    if (link)
        link->Stop();
}

void TfrmMain::btnMuteClick() {
    if (VoiceLink)
        VoiceLink->ToggleMute();
    if (MicMuted) {
        btnMute->setText(QString());
        MicMuted = false;
    } else {
        MicMuted = true;
        btnMute->setText(QStringLiteral("*"));
    }
}

void TfrmMain::FocusHostField() {
    if (edtHostName->isVisible() && edtHostName->isEnabled())
        edtHostName->setFocus();
}

} // namespace vocalyn
