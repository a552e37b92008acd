#pragma once

#include "directory/AddressBookFile.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QStringListModel;

namespace vocalyn {
class SilverPanel;
}

namespace vocalyn::directory {

class AddressRowDelegate;

// The address book: a borderless dialog listing named hosts, sorted ignoring letter case. It
// reads "IPAddress.dat" when created and writes it after every change, and when destroyed if a
// change is still unwritten (or the file was missing); a file the list was not changed from is
// never rewritten. Choosing an entry puts its address into the main window's host field.
class TfrmAddressList : public QDialog {
    Q_OBJECT
public:
    // `dataDir` ends in "/"; `hostField` must outlive every showing of the window.
    TfrmAddressList(const QString& dataDir, QLineEdit& hostField, QWidget* parent = nullptr);
    ~TfrmAddressList() override;

    static constexpr int kWidth = 462;
    static constexpr int kHeight = 341;

    // Runs on "Who's Online?": opens the network browser modally. Nothing happens while empty.
    std::function<void()> OnWhoClick;

    // Adds name + " <" + address + ">" at its sorted place and writes the file. Throws
    // vocalyn::Error "Cannot create file <path>" when the file cannot be written; the entry
    // stays in the list and is written with the next change or at the end.
    void AddAddress(const QString& name, const QString& address);
    // As AddAddress without writing the file: for a batch, followed by one SaveAddressList.
    void InsertAddress(const QString& name, const QString& address);
    // Writes the list to the file now; throws as AddAddress does.
    void SaveAddressList();

    // The entries in list order.
    QStringList Entries() const;
    // The selected entry's row, -1 when none is selected.
    int SelectedRow() const;

    // Controls, named as the rest of the program refers to them.
    SilverPanel* XiPanel1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* edtName = nullptr;
    QLineEdit* edtIPAdd = nullptr;
    QPushButton* btnAdd = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnClear = nullptr;
    QListView* ListBox1 = nullptr;
    QPushButton* btnSend = nullptr;
    QPushButton* btnWho = nullptr;
    QPushButton* btnExit = nullptr;

    // Handlers.
    void FormCreate();
    void FormActivate();
    void FormDestroy() noexcept;
    void edtNameKeyDown();
    void edtIPAddKeyDown();
    void btnAddClick();
    void btnDeleteClick();
    void btnClearClick();
    void btnSendClick();
    void btnWhoClick();
    void btnExitClick();
    void XiPanel1MouseDown();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void ConnectHandlers();
    // Both return whether the list changed.
    bool RemoveEntry(int row);
    bool RemoveAllEntries();

    QString filePath_;
    // The list's entries with their bytes in the file; the model holds their texts, row by row.
    AddressEntries entries_;
    // True while the file does not hold the list: after a change until it is written.
    bool unsaved_ = false;
    QLineEdit& hostField_;
    QStringListModel* model_ = nullptr;
    AddressRowDelegate* rowDelegate_ = nullptr;
};

} // namespace vocalyn::directory
