#pragma once

#include "app/BoundUDPClient.h"
#include "call/ReplyLimiter.h"
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
    // Bounds the unanswered messages sent, busy replies and those at the end of the ring time.
    call::ReplyLimiter UnansweredReplies;

    // Held settings and call state.
    call::CallSettings Settings;
    bool SendingVideo = false;
    bool MicMuted = false;
    bool Busy = false;
    bool Ringing = false;
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
    void btnSettingsClick();
    // Tells the neighbourhood that this copy answers calls, under its caller ID.
    void Announce();
    void RbPanel1MouseDown();
    void lblCallerIDMouseDown();
    void UDPServerUDPRead(net::TIdUDPServer& Sender, const QByteArray& AData,
                          net::TIdSocketHandle& ABinding);
    void btnCallClick();
    void btnEndClick();
    void btnMuteClick();
    void Timer1Timer();
    // The main window's part of the calling dialog's Cancel, before the dialog closes.
    void CancelPlacedCall();
    // The frame handlers' steps after the frame is in the frame buffer.
    void FrameHandler(const video::VIDEOHDR& frame);
    void StreamHandler(const video::VIDEOHDR& frame);
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
    // The 24-bit picture of the frame; false when there is none to use.
    bool PreparePicture();
    void BindToLocalAddress(const QString& address);
    void RunActivationOnce();
    // After closing: no datagram or timer reaches a handler any more.
    void DetachHandlers();
    void DragWindow();

    // Received signalling, by kind.
    void CallRequestReceived(const QString& sender, const QString& callerID);
    void AcceptReceived(const QString& sender);
    void CancelReceived(const QString& sender);
    void UnansweredMessageReceived(const QString& sender, const QString& text);
    bool AcceptExpectedFrom(const QString& sender) const;
    // True when `sender` is the address the pending call request went to.
    bool FromCalledPeer(const QString& sender) const;

    void AnswerCall();
    void PlaceCall();
    void StartRingTimer();
    void SendUnansweredMessage(const QString& host);
    void FocusHostField();
    // The desktop's announcement of the ringing call, shown and taken away with the ringing.
    void AnnounceCall(const QString& callerID);
    void WithdrawCallAnnouncement();
    call::TfrmCalling& CallingDialog() const;

    Platform& platform_;
    bool shown_ = false;
    bool activated_ = false;
    bool closing_ = false;
    // Where the pending call request went, as resolved when it was sent: only an "Accept" or an
    // unanswered message from there counts. None while no call is being placed.
    std::optional<quint32> placedCallAddress_;
};

} // namespace vocalyn
