#include "app/TfrmMain.h"

#include "app/Assets.h"
#include "app/MainWindowAccess.h"
#include "app/PictureLabel.h"
#include "app/Platform.h"
#include "base/AppInfo.h"
#include "net/Ports.h"
#include "video/transport/VideoTransport.h"
#include "widgets/CaptionPanel.h"
#include "widgets/ErrorReport.h"
#include "widgets/FlatButton.h"
#include "widgets/Fonts.h"
#include "widgets/RoundedPanel.h"

#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>

namespace vocalyn {

namespace {

const QColor kOrange(255, 128, 0);
const QColor kLabelBlue(0, 128, 192);
const QColor kLime(0, 255, 0);

QLabel* MakeLabel(QWidget* parent, const QString& text, const QFont& font, const QColor& color) {
    auto* label = new QLabel(text, parent);
    // Every label here may end up showing words from the network.
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

FlatButton* MakeFlatButton(QWidget* parent, const QString& hint, const QRect& geometry,
                           const QString& picture = {}, const QString& caption = {}) {
    auto* button = new FlatButton(parent);
    button->setToolTip(hint);
    button->setGeometry(geometry);
    button->setFont(SansSerifFont(13, true));
    button->setCaptionColor(Qt::yellow);
    if (!picture.isEmpty())
        button->setPicture(QPixmap(picture));
    button->setText(caption);
    return button;
}

} // namespace

TfrmMain::TfrmMain(Platform& platform, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), UDPClient(*platform.sockets),
      UDPServer(*platform.sockets), UDPClient1(*platform.sockets), UDPServer1(*platform.sockets),
      MediaPlayer1(*platform.mediaDevice), platform_(platform), callActions_(*this, platform),
      ringTimer_(Timer1), repeatTimer_(repeater_) {
    InitAssets();
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    setWindowIcon(QPixmap(QStringLiteral(":/vocalyn.png")));
    setFixedSize(kClientWidth, kClientHeight);
    setAttribute(Qt::WA_DeleteOnClose, false);

    UDPClient.Port = platform.signallingPort;
    UDPServer.DefaultPort = platform.signallingPort;
    UDPClient1.Port = platform.videoPort;
    UDPClient1.BufferSize = static_cast<int>(net::kVideoBufferSize);
    UDPServer1.DefaultPort = platform.videoPort;
    UDPServer1.BufferSize = static_cast<int>(net::kVideoBufferSize);
    BindToLocalAddress(platform.bindAddress);

    CreateControls();
    SetUpAccess(*this);
    videoCap = std::make_unique<video::VideoCap>(*platform.captureService,
                                                 video::VideoCapHost{
                                                     .pnlVideoArea = pnlVideoArea,
                                                     .showStatus =
                                                         [this](const QString& text) {
                                                             SetVideoStatus(text);
                                                             lblVideoArea->repaint();
                                                         },
                                                 });
    ConnectHandlers();
    FormCreate();
}

TfrmMain::~TfrmMain() {
    // Datagrams still queued when the listener stops must not reach a half-destroyed window.
    UDPServer.OnUDPRead = nullptr;
    UDPServer.setActive(false);
    UDPServer1.OnUDPRead = nullptr;
    UDPServer1.setActive(false);
}

void TfrmMain::CreateControls() {
    RbPanel1 = new RoundedPanel(this);
    RbPanel1->setObjectName(QStringLiteral("RbPanel1"));
    RbPanel1->setGeometry(0, 0, kClientWidth, kClientHeight);
    RbPanel1->setBackground(Qt::black);
    RbPanel1->setBorder(5, Qt::gray);
    RbPanel1->setCornerWidth(40);
    RbPanel1->setCaption(QStringLiteral("Vocalyn"));
    RbPanel1->setCaptionColor(kOrange);
    RbPanel1->setCaptionFont(TrebuchetFont(21, true));

    Image1 = new PictureLabel(RbPanel1);
    Image1->setGeometry(9, 34, 640, 480);
    Image1->setPixmap(QPixmap(QStringLiteral(":/splash.jpg")));

    lblCallerID = MakeLabel(RbPanel1, QStringLiteral("Caller ID"), TrebuchetFont(13, true), kLime);
    lblCallerID->setGeometry(104, 10, 481, 17);
    lblCallerID->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

    // The status line stands after the caller-ID line, so it is painted over it: on its own
    // black ground, so that a long status hides what it covers instead of mixing the letters.
    lblVideoArea =
        MakeLabel(RbPanel1, QStringLiteral("lblVideoArea"), TrebuchetFont(13, true), kOrange);
    {
        QPalette palette = lblVideoArea->palette();
        palette.setColor(QPalette::Window, Qt::black);
        lblVideoArea->setPalette(palette);
        lblVideoArea->setAutoFillBackground(true);
    }
    lblVideoArea->move(112, 10);
    lblVideoArea->adjustSize();
    videoStatus_ = lblVideoArea->text();

    btnHelp = MakeFlatButton(RbPanel1, QStringLiteral("Help..."), {587, 9, 23, 22}, {},
                             QStringLiteral("?"));
    SpeedButton1 = MakeFlatButton(RbPanel1, QStringLiteral("Minimize Window"), {619, 9, 23, 22}, {},
                                  QStringLiteral("_"));

    btnMute = MakeFlatButton(RbPanel1, QStringLiteral("Microphone Mute"), {16, 525, 97, 60},
                             QStringLiteral(":/mute@3x.png"));
    btnMute->setEnabled(false);
    // Its only caption is the large red "*" of a muted microphone.
    btnMute->setFont(SansSerifFont(32, true));
    btnMute->setCaptionColor(Qt::red);
    btnCall = MakeFlatButton(RbPanel1, QStringLiteral("Call / Answer Phone"), {129, 525, 97, 60},
                             QStringLiteral(":/call@3x.png"));

    pnlVideoArea = new CaptionPanel(RbPanel1);
    pnlVideoArea->setGeometry(242, 524, 176, 144);
    pnlVideoArea->setCaption(QStringLiteral("Client/Host Video"));
    Label9 = new QLabel(pnlVideoArea);
    Label9->setTextFormat(Qt::PlainText);

    btnEnd = MakeFlatButton(RbPanel1, QStringLiteral("End Call"), {434, 525, 97, 60},
                            QStringLiteral(":/end@3x.png"));
    btnEnd->setEnabled(false);
    btnSnapShot = MakeFlatButton(RbPanel1, QStringLiteral("Clipboard SnapShot"), {546, 525, 97, 60},
                                 QStringLiteral(":/snapshot@3x.png"));

    edtHostName = new QLineEdit(QStringLiteral("Host Name or IP Address"), RbPanel1);
    edtHostName->setGeometry(16, 596, 169, 24);
    edtHostName->setFont(TrebuchetFont(13, false));
    // The focused field's border takes the focus ring's colour, to be found on the dark window.
    edtHostName->setStyleSheet(QStringLiteral(
        "QLineEdit { background: black; color: rgb(0, 128, 192); border: 1px solid #505050; }"
        "QLineEdit:focus { border: 2px solid rgb(110, 200, 255); }"));

    btnHostName = new QPushButton(QStringLiteral("..."), RbPanel1);
    btnHostName->setGeometry(197, 596, 28, 24);

    const QFont plainFont = TrebuchetFont(13, false);
    Label10 = MakeLabel(RbPanel1, QStringLiteral("Local IP:"), plainFont, kLabelBlue);
    Label10->move(434, 599);
    Label10->adjustSize();
    lblIPAddress = MakeLabel(RbPanel1, QStringLiteral("255.255.255.255"), plainFont, kLabelBlue);
    lblIPAddress->setGeometry(488, 599, 129, 18);
    lblIPAddress->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    dxToolButton3 = MakeFlatButton(RbPanel1, QStringLiteral("Refresh IP Address"),
                                   {619, 601, 22, 18}, QStringLiteral(":/refresh@3x.png"));
    lblHostName = MakeLabel(RbPanel1, QStringLiteral("Host Name"), plainFont, kLabelBlue);
    lblHostName->move(434, 639);
    lblHostName->adjustSize();

    btnSettings = MakeFlatButton(RbPanel1, QStringLiteral("Control Settings..."), {16, 633, 97, 35},
                                 QStringLiteral(":/settings@3x.png"));
    btnExit = MakeFlatButton(RbPanel1, QStringLiteral("Exit Vocalyn"), {546, 633, 97, 35},
                             QStringLiteral(":/exit@3x.png"));

    lblVideoArea->raise();
}

void TfrmMain::ConnectHandlers() {
    connect(btnExit, &QAbstractButton::clicked, this, Guarded([this] { btnExitClick(); }));
    connect(SpeedButton1, &QAbstractButton::clicked, this,
            Guarded([this] { SpeedButton1Click(); }));
    connect(btnHelp, &QAbstractButton::clicked, this, Guarded([this] { btnHelpClick(); }));
    connect(dxToolButton3, &QAbstractButton::clicked, this,
            Guarded([this] { dxToolButton3Click(); }));
    connect(btnSettings, &QAbstractButton::clicked, this, Guarded([this] { btnSettingsClick(); }));
    connect(RbPanel1, &RoundedPanel::MousePressed, this, Guarded([this] { RbPanel1MouseDown(); }));
    lblCallerID->installEventFilter(this);
    ConnectCallHandlers();
    ConnectVideoHandlers();
}

void TfrmMain::BindToLocalAddress(const QString& address) {
    if (address.isEmpty())
        return;
    for (net::TIdUDPServer* server : {&UDPServer, &UDPServer1}) {
        net::TIdSocketHandle& binding = server->Bindings.Add();
        binding.IP = address;
        binding.Port = static_cast<quint16>(server->DefaultPort);
    }
    UDPClient.LocalIP = address;
    UDPClient1.LocalIP = address;
}

void TfrmMain::SetVideoStatus(const QString& text) {
    videoStatus_ = text;
    DrawStatus();
}

void TfrmMain::SetCallStatus(const QString& text) {
    callStatus_ = text;
    DrawStatus();
}

void TfrmMain::DrawStatus() {
    const QString& text = callStatus_.isEmpty() ? videoStatus_ : callStatus_;
    const int room = btnHelp->x() - 6 - lblVideoArea->x();
    const QString shown = lblVideoArea->fontMetrics().elidedText(text, Qt::ElideRight, room);
    lblVideoArea->setText(shown);
    lblVideoArea->setToolTip(shown == text ? QString() : text);
    lblVideoArea->adjustSize();
    lblVideoArea->resize(std::min(lblVideoArea->width(), room), lblVideoArea->height());
    // While a call rings, who calls matters more than any status.
    const call::CallState state = session_ ? session_->State() : call::CallState::Idle;
    lblVideoArea->setVisible(state != call::CallState::Ringing &&
                             state != call::CallState::Answering);
}

} // namespace vocalyn
