#pragma once

#include <QString>

class QWidget;

// The standard boxes of the address book windows, with their fixed captions.
namespace vocalyn::directory {

// "Error" box with an OK button.
void ShowErrorBox(QWidget* parent, const QString& text);

// "Warning" box with an OK button.
void ShowWarningBox(QWidget* parent, const QString& text);

// "Confirm" box with Yes and No; true when the user answers Yes.
bool AskConfirmation(QWidget* parent, const QString& text);

} // namespace vocalyn::directory
