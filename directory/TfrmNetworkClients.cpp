#include "directory/TfrmNetworkClients.h"

#include "directory/BrowserPictures.h"
#include "widgets/ErrorReport.h"
#include "widgets/FlatButton.h"
#include "widgets/Fonts.h"
#include "widgets/MessageBoxes.h"
#include "widgets/SilverPanel.h"
#include "widgets/WindowMoves.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace vocalyn::directory {

namespace {

QFont ArialBold(int pixelSize) {
    InstallFontSubstitutions();
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

} // namespace

TfrmNetworkClients::TfrmNetworkClients(NeighbourhoodSource& source, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), source_(source) {
    setWindowTitle(QStringLiteral("Online Network Clients"));
    setFixedSize(kWidth, kHeight);
    ProcessPendingEvents = [] {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    CreateControls();
    ConnectHandlers();
}

void TfrmNetworkClients::CreateControls() {
    XiPanel1 = new SilverPanel(this);
    XiPanel1->setGeometry(0, 0, kWidth, kHeight);

    Label1 = new QLabel(QStringLiteral("Network clients that are currently online:"), XiPanel1);
    Label1->setTextFormat(Qt::PlainText);
    Label1->setFont(ArialBold(21));
    Label1->move(16, 14);
    Label1->adjustSize();

    SpeedButton1 = new FlatButton(XiPanel1);
    SpeedButton1->setPicture(RefreshPicture());
    SpeedButton1->setToolTip(QStringLiteral("Refresh List"));
    SpeedButton1->setAccessibleName(QStringLiteral("Refresh list"));
    SpeedButton1->setGeometry(Label1->geometry().right() + 10, Label1->geometry().center().y() - 11,
                              23, 22);

    ListBox1 = new QListWidget(XiPanel1);
    ListBox1->setGeometry(16, 50, kWidth - 32, 266);
    ListBox1->setFont(ArialBold(16));
    ListBox1->setUniformItemSizes(true);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QPalette palette = ListBox1->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, QColor(0, 128, 192));
    ListBox1->setPalette(palette);
    Label1->setBuddy(ListBox1);

    btnAdd =
        MakeButton(XiPanel1, QStringLiteral("Add Host Names to List"), {16, kHeight - 43, 190, 28});
    btnClose =
        MakeButton(XiPanel1, QStringLiteral("Close"), {kWidth - 16 - 100, kHeight - 43, 100, 28});
}

void TfrmNetworkClients::ConnectHandlers() {
    connect(SpeedButton1, &QAbstractButton::clicked, this,
            Guarded([this] { SpeedButton1Click(); }));
    connect(btnAdd, &QPushButton::clicked, this, Guarded([this] { btnAddClick(); }));
    connect(btnClose, &QPushButton::clicked, this, Guarded([this] { btnCloseClick(); }));
    connect(XiPanel1, &SilverPanel::MousePressed, this, Guarded([this] { XiPanel1MouseDown(); }));
    Label1->installEventFilter(this);
}

bool TfrmNetworkClients::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label1 && event->type() == QEvent::MouseButtonPress) {
        Guarded([this] { Label1MouseDown(); })();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmNetworkClients::keyPressEvent(QKeyEvent* event) {
    // Only the two buttons close the window: Escape and Enter do nothing here.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmNetworkClients::showEvent(QShowEvent* event) {
    CentreOverOwner(*this);
    QDialog::showEvent(event);
    // The walk runs before the window first appears, and again on every later showing; not when
    // the window system merely maps it again.
    if (!event->spontaneous())
        Guarded([this] { FormShow(); })();
}

QStringList TfrmNetworkClients::Lines() const {
    QStringList lines;
    lines.reserve(ListBox1->count());
    for (int row = 0; row < ListBox1->count(); ++row)
        lines.append(ListBox1->item(row)->text());
    return lines;
}

} // namespace vocalyn::directory
