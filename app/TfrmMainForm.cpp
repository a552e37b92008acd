// The main window's own handlers: creation, show, activation, close,
// dragging, minimise, help and the local address.
#include "app/TfrmMain.h"

#include "app/FadeOut.h"
#include "app/Platform.h"
#include "base/Error.h"
#include "base/Log.h"
#include "call/TfrmSettings.h"
#include "net/LocalAddress.h"
#include "widgets/ErrorReport.h"
#include "widgets/MessageBoxes.h"
#include "widgets/RoundRegion.h"
#include "widgets/RoundedPanel.h"
#include "widgets/WindowMoves.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QWindow>

namespace vocalyn {

QString TfrmMain::HelpText() {
    const char* const lines[] = {
        "This is a short help tutorial.",
        "",
        "- Settings should be set on first time startup with the Bottom Left Button.",
        "",
        "- To chat, run application on both computers.",
        "",
        "- Enter an I.P. Address or Host Name of the person you want to chat with. Press the "
        "Green Call/Answer button.",
        "  - The remote person will now be alerted to your call.",
        "  - To answer a call, simply click on the Green Call/Answer button and start talking.",
        "  - The call may also be declined by letting it ring until the ring time has timed out.",
        "  - To end a call, click the Big Red button.",
        "",
        "- The Left Mute button lets you mute and re-instate the volume.",
        "",
        "- The Right Snapshot button lets you copy a snapshot image to the clipboard.",
        "",
        "- Custom ring tones may consist of mp3, wav, or wma audio files.",
    };
    QStringList joined;
    for (const char* line : lines)
        joined << QString::fromLatin1(line);
    return joined.join(QStringLiteral("\r\n"));
}

void TfrmMain::FormCreate() {
    // The region starts at (1, 1): the top row and the left column stay outside. On Wayland a
    // mask only shapes where the window takes input; the corners it cuts are left unpainted on
    // a translucent window instead.
    setMask(RoundRectRegion(1, 1, width(), height(), 40, 40));
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        setAttribute(Qt::WA_TranslucentBackground);
    update();
}

void TfrmMain::FormShow() {
    StartVideo();
    // A machine without sound output still calls; the user should know why it rings silently.
    if (const QString reason = platform_.mediaDevice->unavailableReason(); !reason.isEmpty())
        SetVideoStatus(reason);
}

void TfrmMain::FormActivate() {
    lblIPAddress->setText(FindLocalAddress());
    QString settingsProblem;
    try {
        call::LoadSettings(platform_.dataDir, lblIPAddress->text(), Settings);
    } catch (const Error& error) {
        settingsProblem = error.message();
    }
    UDPServer.setActive(true);
    Announce();
    // Told as any error is, once calls can come in (with the default ring time).
    if (!settingsProblem.isEmpty())
        ShowErrorReport(settingsProblem);
}

void TfrmMain::FormClose() {
    WithdrawCallAnnouncement();
    videoCap->StopVideo();
    QCoreApplication::processEvents();
    FadeOut(*this, 600, RbPanel1);
}

void TfrmMain::WithdrawCallAnnouncement() {
    if (platform_.callNotifier)
        platform_.callNotifier->Withdraw();
}

QString TfrmMain::FindLocalAddress() {
    const net::LocalAddress local =
        net::FindLocalAddress(*platform_.resolver, platform_.interfaces.get());
    lblHostName->setText(local.hostName);
    lblHostName->adjustSize();
    return local.address;
}

void TfrmMain::btnExitClick() {
    close();
}

void TfrmMain::SpeedButton1Click() {
    showMinimized();
}

void TfrmMain::btnHelpClick() {
    ShowInformationBox(this, HelpText());
}

void TfrmMain::btnSettingsClick() {
    // A saved caller ID is what the neighbourhood should see from now on.
    if (frmSettings && frmSettings->exec() == QDialog::Accepted)
        Announce();
}

void TfrmMain::Announce() {
    if (platform_.announcer && UDPServer.Active())
        platform_.announcer->Announce(Settings.CallerID,
                                      static_cast<std::uint16_t>(platform_.signallingPort));
}

void TfrmMain::dxToolButton3Click() {
    lblIPAddress->setText(FindLocalAddress());
}

void TfrmMain::RbPanel1MouseDown() {
    DragWindow();
}

void TfrmMain::lblCallerIDMouseDown() {
    DragWindow();
}

void TfrmMain::DragWindow() {
    vocalyn::DragWindow(*this);
}

void TfrmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    Guarded([this] { FormShow(); })();
    // Activation follows the first show even where no window manager hands
    // the focus over.
    QMetaObject::invokeMethod(
        this, [this] { RunActivationOnce(); }, Qt::QueuedConnection);
}

bool TfrmMain::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && shown_)
        RunActivationOnce();
    return QWidget::event(event);
}

void TfrmMain::RunActivationOnce() {
    // Focus only ever returns here from modal dialogs, which do not activate again.
    if (activated_)
        return;
    activated_ = true;
    Guarded([this] { FormActivate(); })();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        closing_ = true;
        Guarded([this] { FormClose(); })();
        DetachHandlers();
        QCoreApplication::quit();
    }
    event->accept();
}

void TfrmMain::DetachHandlers() {
    // The window is gone for the user: what arrived during the fade, or arrives before the
    // message loop ends, must not ring or answer. The listeners are stopped as their
    // destruction would, running the hand-overs still queued, now without a handler.
    Timer1.stop();
    repeater_.stop();
    for (net::TIdUDPServer* server : {&UDPServer, &UDPServer1}) {
        server->OnUDPRead = nullptr;
        try {
            server->setActive(false);
        } catch (...) {
            // closing goes on whatever a socket says
            LogSwallowed(lcApp(), "closing a listener");
        }
    }
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblCallerID && event->type() == QEvent::MouseButtonPress) {
        Guarded([this] { lblCallerIDMouseDown(); })();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace vocalyn
