// The address book's handlers and the changes of its list.

#include "directory/TfrmAddressList.h"

#include "directory/AddressBookFile.h"
#include "directory/AddressBookStore.h"
#include "directory/MessageBoxes.h"
#include "widgets/ErrorReport.h"
#include "widgets/WindowMoves.h"

#include <QLineEdit>
#include <QListView>
#include <QStringListModel>
#include <QWindow>

namespace vocalyn::directory {

void TfrmAddressList::FormCreate() {
    LoadedAddressBook loaded = LoadAddressBook(filePath_);
    model_->setStringList(loaded.entries);
    if (!loaded.complete)
        ShowErrorBox(parentWidget(), QStringLiteral("File [IPAddress.dat] not Found."));
}

void TfrmAddressList::FormDestroy() noexcept {
    try {
        SaveAddressList();
    } catch (...) {
        ReportCurrentException();
    }
}

void TfrmAddressList::FormActivate() {
    if (SelectedRow() < 0 && model_->rowCount() > 0)
        ListBox1->selectionModel()->setCurrentIndex(model_->index(0),
                                                    QItemSelectionModel::ClearAndSelect);
}

void TfrmAddressList::InsertAddress(const QString& name, const QString& address) {
    const QString entry = FormEntry(name, address);
    const int row = static_cast<int>(SortedPosition(model_->stringList(), entry));
    model_->insertRows(row, 1);
    model_->setData(model_->index(row), entry);
}

void TfrmAddressList::AddAddress(const QString& name, const QString& address) {
    InsertAddress(name, address);
    SaveAddressList();
}

void TfrmAddressList::SaveAddressList() const {
    SaveAddressBook(filePath_, model_->stringList());
}

void TfrmAddressList::edtNameKeyDown() {
    edtIPAdd->setFocus();
}

void TfrmAddressList::edtIPAddKeyDown() {
    btnAddClick();
}

void TfrmAddressList::btnAddClick() {
    InsertAddress(edtName->text(), edtIPAdd->text());
    edtName->clear();
    edtIPAdd->clear();
    edtName->setFocus();
    SaveAddressList();
}

void TfrmAddressList::btnDeleteClick() {
    bool changed = false;
    if (AskConfirmation(this, QStringLiteral("Delete selected Address?"))) {
        const int row = SelectedRow();
        if (row >= 0)
            changed = model_->removeRows(row, 1);
    }
    edtName->setFocus();
    if (changed)
        SaveAddressList();
}

void TfrmAddressList::btnClearClick() {
    if (!AskConfirmation(this, QStringLiteral("Clear List?")))
        return;
    model_->setStringList({});
    SaveAddressList();
}

void TfrmAddressList::btnSendClick() {
    const int row = SelectedRow();
    if (row < 0)
        return;
    const std::optional<QString> address = ChosenAddress(model_->stringList().at(row));
    if (!address) {
        ShowWarningBox(this, QStringLiteral("Wrong Address Format."));
        return;
    }
    hostField_.setText(*address);
    accept();
}

void TfrmAddressList::btnWhoClick() {
    if (OnWhoClick)
        OnWhoClick();
}

void TfrmAddressList::btnExitClick() {
    reject();
}

void TfrmAddressList::XiPanel1MouseDown() {
    vocalyn::DragWindow(*this);
}

} // namespace vocalyn::directory
