// The network browser's walk and its buttons.

#include "directory/TfrmNetworkClients.h"

#include "directory/AddressBookFile.h"
#include "directory/NetworkWalk.h"
#include "directory/TfrmAddressList.h"
#include "directory/TfrmExport.h"
#include "widgets/WindowMoves.h"

#include <QListWidget>
#include <QWindow>

namespace vocalyn::directory {

void TfrmNetworkClients::FormShow() {
    WalkNetwork();
}

void TfrmNetworkClients::SpeedButton1Click() {
    WalkNetwork();
}

void TfrmNetworkClients::ShowSearching(bool shown) {
    if (frmExport)
        frmExport->setVisible(shown);
}

void TfrmNetworkClients::WalkNetwork() {
    const auto pump = [this] {
        if (ProcessPendingEvents)
            ProcessPendingEvents();
    };
    pump();
    ShowSearching(true);
    pump();
    ListBox1->setUpdatesEnabled(false);
    ListBox1->clear();

    const auto finish = [this, &pump] {
        pump();
        ListBox1->setUpdatesEnabled(true);
        ShowSearching(false);
        pump();
    };
    const NetworkWalk::LineSink lines = [this](const QString& line) {
        auto* item = new QListWidgetItem(line);
        item->setSizeHint(QSize(0, kRowHeight));
        ListBox1->addItem(item);
    };
    try {
        NetworkWalk(source_, pump)
            .EnumerateNetwork(RESOURCETYPE_DISK, RESOURCEDISPLAYTYPE_SERVER, lines);
    } catch (...) {
        // The error goes on to the general report; the list must not stay frozen, nor the
        // "Searching..." window on top of everything.
        finish();
        throw;
    }
    finish();
}

void TfrmNetworkClients::btnAddClick() {
    bool added = false;
    if (frmAddressList) {
        QString name;
        const QLatin1String kPathMark("\\\\");
        for (const QString& line : Lines()) {
            if (line.left(8) == QLatin1String("Computer")) {
                const qsizetype colon = line.indexOf(QLatin1Char(':'));
                name = line.mid(colon + 2);
            }
            if (line.left(4) == QLatin1String("Host")) {
                // Every listed server has a path; a line without one names no host to add.
                const qsizetype mark = line.indexOf(kPathMark);
                if (mark < 0)
                    continue;
                const QString host = line.mid(mark + kPathMark.size());
                // Against the book as it grows: a computer listed twice is added once.
                if (!HostInAddressList(frmAddressList->Entries(), host)) {
                    frmAddressList->InsertAddress(name, host);
                    added = true;
                }
            }
        }
    }
    accept();
    // One write for the whole batch; a failure goes to the general report, and the new entries
    // stay in the list for the next write.
    if (added)
        frmAddressList->SaveAddressList();
}

void TfrmNetworkClients::btnCloseClick() {
    reject();
}

void TfrmNetworkClients::XiPanel1MouseDown() {
    vocalyn::DragWindow(*this);
}

void TfrmNetworkClients::Label1MouseDown() {
    XiPanel1MouseDown();
}

} // namespace vocalyn::directory
