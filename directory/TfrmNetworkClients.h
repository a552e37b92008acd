#pragma once

#include <QDialog>
#include <QPointer>

#include <functional>

class QLabel;
class QListWidget;
class QPushButton;

namespace vocalyn {
class FlatButton;
}

namespace vocalyn {
class SilverPanel;
}

namespace vocalyn::directory {

class NeighbourhoodSource;
class TfrmAddressList;
class TfrmExport;

// The network browser: lists four lines for every computer of the network neighbourhood,
// walking the whole tree each time it is shown and on its refresh button, and adds the listed
// computers that the address book lacks.
class TfrmNetworkClients : public QDialog {
    Q_OBJECT
public:
    // `source` must outlive the window.
    explicit TfrmNetworkClients(NeighbourhoodSource& source, QWidget* parent = nullptr);

    static constexpr int kWidth = 655;
    static constexpr int kHeight = 371;
    static constexpr int kRowHeight = 19;

    // Windows created after this one, set at start-up. Without the "Searching..." window the
    // walk runs unseen; without the address book "Add Host Names to List" adds nothing.
    QPointer<TfrmExport> frmExport;
    QPointer<TfrmAddressList> frmAddressList;

    // Runs at the walk's fixed points to keep the windows painted. By default it processes
    // every pending event except user input, which waits until the walk is over: a click
    // cannot start a second walk inside the first, nor close the window under it.
    std::function<void()> ProcessPendingEvents;

    // Controls, named as the rest of the program refers to them.
    SilverPanel* XiPanel1 = nullptr;
    QLabel* Label1 = nullptr;
    FlatButton* SpeedButton1 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QPushButton* btnAdd = nullptr;
    QPushButton* btnClose = nullptr;

    // The listed lines, in order.
    QStringList Lines() const;

    // Handlers.
    void FormShow();
    void SpeedButton1Click();
    void btnAddClick();
    void btnCloseClick();
    void XiPanel1MouseDown();
    void Label1MouseDown();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void ConnectHandlers();
    void WalkNetwork();
    void ShowSearching(bool shown);

    NeighbourhoodSource& source_;
};

} // namespace vocalyn::directory
