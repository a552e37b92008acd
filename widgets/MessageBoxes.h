#pragma once

#include "base/Log.h" // CurrentExceptionText, for the boxes' callers

#include <QString>

class QPushButton;
class QRect;
class QWidget;

// Every message box of the program is built here, so that the rule for their text holds in
// one place: it is shown as plain text, never as rich text, because it can carry host names,
// file names and words from the network.
namespace vocalyn {

// A modal box with one OK button; the caption names its kind.
void ShowErrorBox(QWidget* parent, const QString& text);       // "Error", error icon
void ShowWarningBox(QWidget* parent, const QString& text);     // "Warning"
void ShowInformationBox(QWidget* parent, const QString& text); // "Information"
// An error box with the given caption; the general error report uses the program's title.
void ShowErrorBox(QWidget* parent, const QString& caption, const QString& text);

// "Confirm" box with Yes and No, Yes the default; true when the user answers Yes.
bool AskConfirmation(QWidget* parent, const QString& text);

// A push button at a fixed place in a hand-laid dialog. It never becomes the dialog's
// default: in these windows Enter either does nothing or is handled by the window itself.
QPushButton* MakeButton(QWidget* parent, const QString& text, const QRect& geometry);

} // namespace vocalyn
