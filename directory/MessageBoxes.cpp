#include "directory/MessageBoxes.h"

#include <QMessageBox>

namespace vocalyn::directory {

namespace {

int Show(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
         QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    return box.exec();
}

} // namespace

void ShowErrorBox(QWidget* parent, const QString& text) {
    Show(parent, QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok,
         QMessageBox::Ok);
}

void ShowWarningBox(QWidget* parent, const QString& text) {
    Show(parent, QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok,
         QMessageBox::Ok);
}

bool AskConfirmation(QWidget* parent, const QString& text) {
    return Show(parent, QMessageBox::Question, QStringLiteral("Confirm"), text,
                QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

} // namespace vocalyn::directory
