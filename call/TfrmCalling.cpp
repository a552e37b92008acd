#include "call/TfrmCalling.h"

#include "base/Log.h"
#include "widgets/ErrorReport.h"
#include "widgets/Fonts.h"
#include "widgets/RxDice.h"
#include "widgets/SilverPanel.h"
#include "widgets/WindowMoves.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QWindow>

namespace vocalyn::call {

TfrmCalling::TfrmCalling(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
    setWindowTitle(QStringLiteral("Calling Status"));
    setFixedSize(kWidth, kHeight);

    XiPanel1 = new SilverPanel(this);
    XiPanel1->setGeometry(0, 0, kWidth, kHeight);

    Label1 = new QLabel(QStringLiteral("Calling..."), XiPanel1);
    // The callee's message arrives from the network: never rich text, never wrapped; what does
    // not fit the width is cut off.
    Label1->setTextFormat(Qt::PlainText);
    Label1->setWordWrap(false);
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    Label1->setFont(SansSerifFont(13, false));
    QPalette palette = Label1->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    Label1->setPalette(palette);
    Label1->setGeometry(8, 14, kWidth - 16, 20);

    RxDice1 = new RxDice(XiPanel1);
    RxDice1->setGeometry(24, 50, RxDice::kSize, RxDice::kSize);
    RxDice1->setAccessibleName(QStringLiteral("Calling animation"));

    btnCancel = new QPushButton(QStringLiteral("Cancel"), XiPanel1);
    btnCancel->setFont(SansSerifFont(13, true));
    btnCancel->setGeometry(286, 92, 81, 27);
    // Enter must not cancel a call behind the user's back.
    btnCancel->setAutoDefault(false);
    btnCancel->setDefault(false);

    connect(btnCancel, &QAbstractButton::clicked, this, Guarded([this] { btnCancelClick(); }));
    connect(XiPanel1, &SilverPanel::MousePressed, this, Guarded([this] { XiPanel1MouseDown(); }));
}

void TfrmCalling::Close() {
    done(QDialog::Accepted);
}

void TfrmCalling::btnCancelClick() {
    try {
        if (OnCancelCall)
            OnCancelCall();
    } catch (...) {
        // Cancelling must always get the user out of the dialog; the error is not shown.
        LogSwallowed(lcCall(), "calling dialog's Cancel");
    }
    Close();
}

void TfrmCalling::XiPanel1MouseDown() {
    vocalyn::DragWindow(*this);
}

void TfrmCalling::setVisible(bool visible) {
    if (visible && parentWidget())
        CentreOverOwner(*this);
    QDialog::setVisible(visible);
}

void TfrmCalling::reject() {
    // Escape and the window manager's close land here; only Cancel and an accepted call close.
}

void TfrmCalling::keyPressEvent(QKeyEvent* event) {
    // Skips QDialog's own keys: Escape rejects and Enter presses a default button.
    QWidget::keyPressEvent(event);
}

void TfrmCalling::closeEvent(QCloseEvent* event) {
    event->ignore();
}

} // namespace vocalyn::call
