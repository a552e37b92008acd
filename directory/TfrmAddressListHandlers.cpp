// The address book's handlers and the changes of its list.

#include "directory/TfrmAddressList.h"

#include "directory/AddressBookFile.h"
#include "directory/AddressBookStore.h"
#include "widgets/ErrorReport.h"
#include "widgets/MessageBoxes.h"
#include "widgets/WindowMoves.h"

#include <QLineEdit>
#include <QListView>
#include <QStringListModel>
#include <QWindow>

namespace vocalyn::directory {

void TfrmAddressList::FormCreate() {
    LoadedAddressBook loaded = LoadAddressBook(filePath_);
    entries_ = std::move(loaded.entries);
    model_->setStringList(EntryTexts(entries_));
    // A missing file is created at the end; one that exists but could not be read is left alone
    // unless the user changes the list.
    unsaved_ = loaded.outcome == LoadedAddressBook::Outcome::Missing;
    if (loaded.outcome != LoadedAddressBook::Outcome::Read)
        ShowErrorBox(parentWidget(), QStringLiteral("File [IPAddress.dat] not Found."));
}

void TfrmAddressList::FormDestroy() noexcept {
    if (!unsaved_)
        return;
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
    AddressEntry entry = EntryFromText(FormEntry(name, address));
    const int row = static_cast<int>(SortedPosition(model_->stringList(), entry.text));
    model_->insertRows(row, 1);
    model_->setData(model_->index(row), entry.text);
    entries_.insert(row, std::move(entry));
    unsaved_ = true;
}

bool TfrmAddressList::RemoveEntry(int row) {
    if (!model_->removeRows(row, 1))
        return false;
    entries_.removeAt(row);
    unsaved_ = true;
    return true;
}

bool TfrmAddressList::RemoveAllEntries() {
    if (entries_.isEmpty())
        return false;
    model_->setStringList({});
    entries_.clear();
    unsaved_ = true;
    return true;
}

void TfrmAddressList::AddAddress(const QString& name, const QString& address) {
    InsertAddress(name, address);
    SaveAddressList();
}

void TfrmAddressList::SaveAddressList() {
    SaveAddressBook(filePath_, entries_);
    unsaved_ = false;
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
            changed = RemoveEntry(row);
    }
    edtName->setFocus();
    if (changed)
        SaveAddressList();
}

void TfrmAddressList::btnClearClick() {
    if (!AskConfirmation(this, QStringLiteral("Clear List?")))
        return;
    if (RemoveAllEntries())
        SaveAddressList();
}

void TfrmAddressList::btnSendClick() {
    const int row = SelectedRow();
    if (row < 0)
        return;
    const std::optional<QString> address = ChosenAddress(entries_.at(row).text);
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
