// The settings dialog's handlers: showing, the Enter walk, choosing a ring tone, Save and Close.
#include "call/TfrmSettings.h"

#include "widgets/LimitedLineEdit.h"
#include "widgets/SpinEdit.h"
#include "widgets/WindowMoves.h"

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace vocalyn::call {

namespace {

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

void TfrmSettings::FormActivate() {
    edtRingTone->setText(held_.RingTone);
    // Division truncates toward zero; a held ring time of 0 shows as 1.
    sedRingTime->setValue(held_.RingTime / 1000);
    edtMessage->setWholeText(held_.Message);
    edtCallerID->setWholeText(held_.CallerID);
    edtRingTone->setFocus(Qt::OtherFocusReason);
}

void TfrmSettings::edtRingToneKeyDown(int Key) {
    if (IsEnter(Key))
        sedRingTime->setFocus(Qt::TabFocusReason);
}

void TfrmSettings::sedRingTimeKeyDown(int Key) {
    if (IsEnter(Key))
        edtMessage->setFocus(Qt::TabFocusReason);
}

void TfrmSettings::edtMessageKeyDown(int Key) {
    if (IsEnter(Key))
        edtCallerID->setFocus(Qt::TabFocusReason);
}

void TfrmSettings::edtCallerIDKeyDown(int Key) {
    if (IsEnter(Key))
        btnSave->setFocus(Qt::TabFocusReason);
}

void TfrmSettings::btnRingToneClick() {
    if (!ChooseFile)
        return;
    const QString chosen = ChooseFile(this, edtRingTone->text(), RingToneFilter());
    // An empty answer is a cancelled chooser.
    if (!chosen.isEmpty())
        edtRingTone->setText(chosen);
}

void TfrmSettings::btnSaveClick() {
    const QString ringTone = edtRingTone->text();
    // Pressing Save has moved the focus and so limited the field already; the limit here only
    // guards a call from code.
    const int ringTime_s = std::clamp(sedRingTime->value(), kMinRingTime_s, kMaxRingTime_s);
    const QString message = edtMessage->text();
    const QString callerID = edtCallerID->text();

    // Throws when the file refuses a key; the held settings and the dialog stay as they are.
    SaveSettings(dataDir_, ringTone, ringTime_s, message, callerID);

    held_.RingTone = ringTone;
    held_.RingTime = ringTime_s * 1000;
    held_.Message = message;
    held_.CallerID = callerID;
    accept();
}

void TfrmSettings::btnCloseClick() {
    reject();
}

void TfrmSettings::btnVideoOptionsClick() {
    if (OnVideoOptions)
        OnVideoOptions();
}

void TfrmSettings::XiPanel1MouseDown() {
    vocalyn::DragWindow(*this);
}

} // namespace vocalyn::call
