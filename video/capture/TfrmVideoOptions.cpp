#include "video/capture/TfrmVideoOptions.h"

#include "video/capture/VideoCap.h"
#include "widgets/ErrorReport.h"
#include "widgets/Fonts.h"
#include "widgets/MessageBoxes.h"
#include "widgets/SilverPanel.h"
#include "widgets/WindowMoves.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

namespace vocalyn::video {

TfrmVideoOptions::TfrmVideoOptions(VideoCap& videoCap, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), videoCap_(videoCap) {
    setWindowTitle(QStringLiteral("Video Display Options"));
    setFixedSize(kWidth, kHeight);
    setFont(SansSerifFont(13, false));
    CreateControls();

    connect(btnSource, &QPushButton::clicked, this, Guarded([this] { btnSourceClick(); }));
    connect(btnFormat, &QPushButton::clicked, this, Guarded([this] { btnFormatClick(); }));
    connect(btnClose, &QPushButton::clicked, this, Guarded([this] { btnCloseClick(); }));
    connect(XiPanel1, &SilverPanel::MousePressed, this, Guarded([this] { XiPanel1MouseDown(); }));
}

void TfrmVideoOptions::CreateControls() {
    XiPanel1 = new SilverPanel(this);
    XiPanel1->setGeometry(0, 0, kWidth, kHeight);

    GroupBox1 = new QGroupBox(QStringLiteral(" General Video Settings "), XiPanel1);
    GroupBox1->setGeometry(16, 16, 265, 105);
    GroupBox1->setFont(SansSerifFont(13, true));

    btnSource = MakeButton(GroupBox1, QStringLiteral("Video Source"), {20, 37, 93, 36});
    btnFormat = MakeButton(GroupBox1, QStringLiteral("Video Format"), {156, 37, 93, 36});
    // The group box's bold caption is not meant for the buttons inside it.
    for (QPushButton* button : {btnSource, btnFormat}) {
        button->setFont(SansSerifFont(13, false));
        button->setEnabled(false);
    }
    btnClose = MakeButton(XiPanel1, QStringLiteral("Close"), {219, 140, 61, 20});
}

void TfrmVideoOptions::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The window system mapping the window again is no new showing.
    if (event->spontaneous())
        return;
    CentreOverOwner(*this);
    Guarded([this] { FormShow(); })();
}

void TfrmVideoOptions::keyPressEvent(QKeyEvent* event) {
    // Only Close ends a showing, so the driver buttons are always reset.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmVideoOptions::FormShow() {
    // A dialog the driver lacks leaves its button as Close left it: disabled.
    if (videoCap_.HasSourceDialog())
        btnSource->setEnabled(true);
    if (videoCap_.HasFormatDialog())
        btnFormat->setEnabled(true);
}

void TfrmVideoOptions::btnSourceClick() {
    videoCap_.ShowSourceDialog();
}

void TfrmVideoOptions::btnFormatClick() {
    videoCap_.ShowFormatDialog();
    // Whether or not anything changed, the next frame is converted from what
    // the driver now delivers.
    videoCap_.ReadVideoFormat();
}

void TfrmVideoOptions::btnCloseClick() {
    btnSource->setEnabled(false);
    btnFormat->setEnabled(false);
    close();
}

void TfrmVideoOptions::XiPanel1MouseDown() {
    vocalyn::DragWindow(*this);
}

} // namespace vocalyn::video
