#pragma once

#include "app/BoundUDPClient.h"
#include "app/CallWindowActions.h"
#include "app/QtCallTimer.h"
#include "call/CallSession.h"
#include "call/SettingsFile.h"
#include "call/TMediaPlayer.h"
#include "net/TIdUDPServer.h"
#include "video/capture/VideoCap.h"
#include "voice/TVOIPMedia.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vocalyn::call {
class TfrmCalling;
class TfrmSettings;
} // namespace vocalyn::call
namespace vocalyn::voice {
class TfrmCCN;
}
namespace vocalyn::video {
class VideoTransport;
}

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
    BoundUDPClient UDPClient;
    net::TIdUDPServer UDPServer;
    QTimer Timer1;
    BoundUDPClient UDPClient1;
    net::TIdUDPServer UDPServer1;
    call::TMediaPlayer MediaPlayer1;

    // Held settings and call state.
    call::CallSettings Settings;
    // Frames go to UDPClient1 while it is set; the call sets and clears it.
    bool SendingVideo = false;
    bool VideoStarted = false;
    bool PeerHostLearned = false;
    std::unique_ptr<voice::TVOIPMedia> VoiceLink; // the current call's, while one is up
    // The frames' way to and from the network; outlives the capture connection.
    std::unique_ptr<video::VideoTransport> videoTransport;
    // The capture connection; declared after the flags and endpoints it uses.
    std::unique_ptr<video::VideoCap> videoCap;

    // The windows created after this one that the call handlers use.
    QPointer<call::TfrmCalling> frmCalling;
    QPointer<voice::TfrmCCN> frmCCN;
    QPointer<call::TfrmSettings> frmSettings;
    // Makes `dialog` the calling-status dialog and hands it its Cancel steps.
    void SetCallingDialog(call::TfrmCalling& dialog);

    // The call: its state decides the flags and buttons below.
    call::CallSession& Session() { return *session_; }
    bool Busy() const { return session_->Busy(); }
    bool Ringing() const { return session_->Ringing(); }
    bool MicMuted() const { return session_->Muted(); }

    // Puts the local host name into lblHostName and returns the local address.
    QString FindLocalAddress();
    // The status line, lblVideoArea: what the camera and the sound output say, and over it
    // what the current call says (voice, ring tone) until the call ends.
    void SetVideoStatus(const QString& text);
    void SetCallStatus(const QString& text);
    // Lays the status line out again: cut before the "?" button (the whole text in its tooltip)
    // and out of the way of a ringing call's caller ID.
    void DrawStatus();

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
    void btnSettingsClick();
    // Tells the neighbourhood that this copy answers calls, under its caller ID.
    void Announce();
    void RbPanel1MouseDown();
    void lblCallerIDMouseDown();
    void UDPServerUDPRead(net::TIdUDPServer& Sender, const QByteArray& AData,
                          net::TIdSocketHandle& ABinding);
    void btnCallClick();
    // Puts the focus in the host field when it can take it.
    void FocusHostField();
    void btnEndClick();
    void btnMuteClick();
    void Timer1Timer();
    // Opens the capture connection and the video listener, once, when the window is first
    // shown; reports failures in a box.
    void StartVideo();
    // The frame handlers' steps for a frame the capture connection passed on.
    void FrameHandler(const video::CameraFrame& frame);
    void StreamHandler(const video::CameraFrame& frame);
    void UDPServer1UDPRead(net::TIdUDPServer& Sender, const QByteArray& AData,
                           net::TIdSocketHandle& ABinding);
    void btnSnapshotClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void ConnectHandlers();
    void ConnectCallHandlers();
    void ConnectVideoHandlers();
    // The warning about a driver format whose frames cannot be read, once per format. True when
    // the frame at hand may no longer be read: the format changed while the warning was open.
    bool WarnUnreadableFormat();
    void BindToLocalAddress(const QString& address);
    void RunActivationOnce();
    // After closing: no datagram or timer reaches a handler any more.
    void DetachHandlers();
    void DragWindow();

    // The desktop's announcement of a ringing call goes.
    void WithdrawCallAnnouncement();

    Platform& platform_;
    bool shown_ = false;
    bool activated_ = false;
    bool closing_ = false;
    QString videoStatus_;
    QString callStatus_;
    CallWindowActions callActions_;
    // Repeats the call request while placing, and the Cancel after it.
    QTimer repeater_;
    QtCallTimer ringTimer_;
    QtCallTimer repeatTimer_;
    std::unique_ptr<call::CallSession> session_;
};

} // namespace vocalyn
