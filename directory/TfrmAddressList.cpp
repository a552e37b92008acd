#include "directory/TfrmAddressList.h"

#include "directory/AddressBookFile.h"
#include "directory/AddressRowDelegate.h"
#include "widgets/ErrorReport.h"
#include "widgets/MessageBoxes.h"
#include "widgets/SilverPanel.h"
#include "widgets/WindowMoves.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QStringListModel>

namespace vocalyn::directory {

namespace {

QLabel* MakeLabel(QWidget* parent, const QString& text, const QPoint& position) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->move(position);
    label->adjustSize();
    return label;
}

bool IsEnter(const QKeyEvent& key) {
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

} // namespace

TfrmAddressList::TfrmAddressList(const QString& dataDir, QLineEdit& hostField, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), filePath_(AddressBookPath(dataDir)),
      hostField_(hostField) {
    setFixedSize(kWidth, kHeight);
    CreateControls();
    ConnectHandlers();
    FormCreate();
}

TfrmAddressList::~TfrmAddressList() {
    FormDestroy();
}

void TfrmAddressList::CreateControls() {
    XiPanel1 = new SilverPanel(this);
    XiPanel1->setGeometry(0, 0, kWidth, kHeight);

    Label1 = MakeLabel(XiPanel1, QStringLiteral("Call Name"), {16, 12});
    Label3 = MakeLabel(XiPanel1, QStringLiteral("I.P. Address or Host Name"), {182, 12});

    edtName = new QLineEdit(XiPanel1);
    edtName->setGeometry(16, 30, 156, 24);
    edtName->setMaxLength(20);
    edtIPAdd = new QLineEdit(XiPanel1);
    edtIPAdd->setGeometry(182, 30, 180, 24);
    edtIPAdd->setMaxLength(25);
    btnAdd = MakeButton(XiPanel1, QStringLiteral("Add"), {372, 30, 74, 24});

    btnDelete = MakeButton(XiPanel1, QStringLiteral("Delete"), {292, 62, 74, 24});
    btnClear = MakeButton(XiPanel1, QStringLiteral("Clear List"), {372, 62, 74, 24});

    model_ = new QStringListModel(this);
    ListBox1 = new QListView(XiPanel1);
    ListBox1->setGeometry(16, 94, 430, 197);
    ListBox1->setModel(model_);
    rowDelegate_ = new AddressRowDelegate(ListBox1);
    ListBox1->setItemDelegate(rowDelegate_);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListBox1->setToolTip(QStringLiteral("Double-Click to select"));
    QPalette palette = ListBox1->palette();
    palette.setColor(QPalette::Base, Qt::white);
    ListBox1->setPalette(palette);

    btnSend = MakeButton(XiPanel1, QStringLiteral("OK"), {16, 303, 90, 26});
    btnWho = MakeButton(XiPanel1, QStringLiteral("Who's Online?"), {176, 303, 110, 26});
    btnExit = MakeButton(XiPanel1, QStringLiteral("Close"), {356, 303, 90, 26});

    // The window has no title to show; screen readers name it and each field all the same.
    setAccessibleName(QStringLiteral("Address book"));
    Label1->setBuddy(edtName);
    Label3->setBuddy(edtIPAdd);
    ListBox1->setAccessibleName(QStringLiteral("Addresses"));

    setTabOrder(edtName, edtIPAdd);
    setTabOrder(edtIPAdd, ListBox1);
    setTabOrder(ListBox1, btnSend);
    setTabOrder(btnSend, btnExit);
    setTabOrder(btnExit, btnAdd);
    setTabOrder(btnAdd, btnDelete);
    setTabOrder(btnDelete, btnWho);
    setTabOrder(btnWho, btnClear);
}

void TfrmAddressList::ConnectHandlers() {
    connect(btnAdd, &QPushButton::clicked, this, Guarded([this] { btnAddClick(); }));
    connect(btnDelete, &QPushButton::clicked, this, Guarded([this] { btnDeleteClick(); }));
    connect(btnClear, &QPushButton::clicked, this, Guarded([this] { btnClearClick(); }));
    connect(btnSend, &QPushButton::clicked, this, Guarded([this] { btnSendClick(); }));
    connect(btnWho, &QPushButton::clicked, this, Guarded([this] { btnWhoClick(); }));
    connect(btnExit, &QPushButton::clicked, this, Guarded([this] { btnExitClick(); }));
    connect(ListBox1, &QListView::doubleClicked, this, Guarded([this] { btnSendClick(); }));
    connect(XiPanel1, &SilverPanel::MousePressed, this, Guarded([this] { XiPanel1MouseDown(); }));
    for (QObject* watched : {static_cast<QObject*>(edtName), static_cast<QObject*>(edtIPAdd),
                             static_cast<QObject*>(Label1), static_cast<QObject*>(Label3)})
        watched->installEventFilter(this);
}

bool TfrmAddressList::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && (watched == Label1 || watched == Label3)) {
        Guarded([this] { XiPanel1MouseDown(); })();
        return true;
    }
    if (event->type() == QEvent::KeyPress && IsEnter(*static_cast<QKeyEvent*>(event))) {
        if (watched == edtName) {
            Guarded([this] { edtNameKeyDown(); })();
            return true;
        }
        if (watched == edtIPAdd) {
            Guarded([this] { edtIPAddKeyDown(); })();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAddressList::keyPressEvent(QKeyEvent* event) {
    // QDialog would close on Escape and press a default button on Enter; here neither key has a
    // function.
    if (event->key() == Qt::Key_Escape || IsEnter(*event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmAddressList::showEvent(QShowEvent* event) {
    CentreOverOwner(*this);
    QDialog::showEvent(event);
    // Activation may not follow a show where no window manager hands the focus over; the
    // handler does nothing when it runs twice.
    Guarded([this] { FormActivate(); })();
}

void TfrmAddressList::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Guarded([this] { FormActivate(); })();
}

QStringList TfrmAddressList::Entries() const {
    return model_->stringList();
}

int TfrmAddressList::SelectedRow() const {
    const QModelIndexList rows = ListBox1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

} // namespace vocalyn::directory
