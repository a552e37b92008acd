#include "widgets/MessageBoxes.h"

#include "base/Error.h"

#include <QMessageBox>
#include <QPushButton>
#include <QRect>

#include <exception>

namespace vocalyn {

namespace {

int Show(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
         QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    return box.exec();
}

} // namespace

void ShowErrorBox(QWidget* parent, const QString& caption, const QString& text) {
    Show(parent, QMessageBox::Critical, caption, text, QMessageBox::Ok, QMessageBox::Ok);
}

void ShowErrorBox(QWidget* parent, const QString& text) {
    ShowErrorBox(parent, QStringLiteral("Error"), text);
}

void ShowWarningBox(QWidget* parent, const QString& text) {
    Show(parent, QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok,
         QMessageBox::Ok);
}

void ShowInformationBox(QWidget* parent, const QString& text) {
    Show(parent, QMessageBox::Information, QStringLiteral("Information"), text, QMessageBox::Ok,
         QMessageBox::Ok);
}

bool AskConfirmation(QWidget* parent, const QString& text) {
    return Show(parent, QMessageBox::Question, QStringLiteral("Confirm"), text,
                QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

QPushButton* MakeButton(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* button = new QPushButton(text, parent);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace vocalyn
