// The main window's call handlers: each button, timer and signalling datagram goes to the call
// session, which decides; the window draws what it decided.
#include "app/TfrmMain.h"

#include "app/Platform.h"
#include "call/TfrmCalling.h"
#include "net/DottedAddress.h"
#include "widgets/ErrorReport.h"
#include "widgets/FlatButton.h"
#include "widgets/MessageBoxes.h"

#include <QLineEdit>

namespace vocalyn {

namespace {

const QString kHostPlaceholder = QStringLiteral("Host Name or IP Address");

} // namespace

void TfrmMain::ConnectCallHandlers() {
    session_ =
        std::make_unique<call::CallSession>(Settings, callActions_, ringTimer_, repeatTimer_);
    connect(btnCall, &QAbstractButton::clicked, this, Guarded([this] { btnCallClick(); }));
    connect(btnEnd, &QAbstractButton::clicked, this, Guarded([this] { btnEndClick(); }));
    connect(btnMute, &QAbstractButton::clicked, this, Guarded([this] { btnMuteClick(); }));
    connect(&Timer1, &QTimer::timeout, this, Guarded([this] { Timer1Timer(); }));
    connect(&repeater_, &QTimer::timeout, this,
            Guarded([this] { session_->RepeatTimerExpired(); }));
    UDPServer.OnUDPRead = [this](net::TIdUDPServer& sender, const QByteArray& data,
                                 net::TIdSocketHandle& binding) {
        UDPServerUDPRead(sender, data, binding);
    };
}

void TfrmMain::SetCallingDialog(call::TfrmCalling& dialog) {
    frmCalling = &dialog;
    dialog.OnCancelCall = [this] { session_->CancelPressed(); };
}

void TfrmMain::UDPServerUDPRead(net::TIdUDPServer&, const QByteArray& AData,
                                net::TIdSocketHandle& ABinding) {
    if (const std::optional<quint32> sender = net::DottedAddress(ABinding.SenderIP))
        session_->DatagramReceived(*sender, AData);
}

void TfrmMain::btnCallClick() {
    if (edtHostName->text() == kHostPlaceholder) {
        ShowInformationBox(this, QStringLiteral("Please enter Host Name or IP Address First."));
        FocusHostField();
        return;
    }
    session_->CallPressed(edtHostName->text());
}

void TfrmMain::Timer1Timer() {
    session_->RingTimerExpired();
}

void TfrmMain::btnEndClick() {
    session_->EndPressed();
}

void TfrmMain::btnMuteClick() {
    session_->MutePressed();
}

void TfrmMain::FocusHostField() {
    if (edtHostName->isVisible() && edtHostName->isEnabled())
        edtHostName->setFocus();
}

} // namespace vocalyn
