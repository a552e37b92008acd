#pragma once

#include "call/SettingsFile.h"
#include "net/TIdUDPClient.h"
#include "net/TIdUDPServer.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vocalyn {

struct Platform;
class CaptionPanel;
class FlatButton;
class RoundedPanel;

// The borderless main window: the hub that owns the call state, the held
// settings, the datagram endpoints and the ring timer. Its handlers are
// split across files by the subsystem they serve.
class TfrmMain : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMain(Platform& platform, QWidget* parent = nullptr);
    ~TfrmMain() override;

    static constexpr int kClientWidth = 658;
    static constexpr int kClientHeight = 682;

    // The help box's text, lines joined by CR LF.
    static QString HelpText();

    // Controls, named as the rest of the program refers to them.
    RoundedPanel* RbPanel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* lblCallerID = nullptr;
    QLabel* lblVideoArea = nullptr;
    FlatButton* btnHelp = nullptr;
    FlatButton* SpeedButton1 = nullptr;
    FlatButton* btnMute = nullptr;
    FlatButton* btnCall = nullptr;
    CaptionPanel* pnlVideoArea = nullptr;
    QLabel* Label9 = nullptr;
    FlatButton* btnEnd = nullptr;
    FlatButton* btnSnapShot = nullptr;
    QLineEdit* edtHostName = nullptr;
    QPushButton* btnHostName = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* lblIPAddress = nullptr;
    FlatButton* dxToolButton3 = nullptr;
    QLabel* lblHostName = nullptr;
    FlatButton* btnSettings = nullptr;
    FlatButton* btnExit = nullptr;

    // Non-visual parts.
    net::TIdUDPClient UDPClient;
    net::TIdUDPServer UDPServer;
    QTimer Timer1;
    net::TIdUDPClient UDPClient1;
    net::TIdUDPServer UDPServer1;

    // Held settings and call state.
    call::CallSettings Settings;
    bool SendingVideo = false;
    bool MicMuted = false;
    bool Busy = false;
    bool Ringing = false;
    bool VideoStarted = false;
    bool PeerHostLearned = false;

    // Puts the local host name into lblHostName and returns the local address.
    QString FindLocalAddress();
    // Shows a capture status text in lblVideoArea, sized to the text.
    void SetVideoStatus(const QString& text);

    bool FormActivated() const { return activated_; }

    // Handlers.
    void FormCreate();
    void FormShow();
    void FormActivate();
    void FormClose();
    void btnExitClick();
    void SpeedButton1Click();
    void btnHelpClick();
    void dxToolButton3Click();
    void RbPanel1MouseDown();
    void lblCallerIDMouseDown();
    void UDPServerUDPRead(net::TIdUDPServer& Sender, const QByteArray& AData,
                          net::TIdSocketHandle& ABinding);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void ConnectHandlers();
    void RunActivationOnce();
    void DragWindow();

    Platform& platform_;
    bool shown_ = false;
    bool activated_ = false;
    bool closing_ = false;
};

} // namespace vocalyn
