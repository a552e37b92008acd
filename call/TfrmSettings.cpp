#include "call/TfrmSettings.h"

#include "widgets/ErrorReport.h"
#include "widgets/Fonts.h"
#include "widgets/LimitedLineEdit.h"
#include "widgets/MessageBoxes.h"
#include "widgets/SilverPanel.h"
#include "widgets/SpinEdit.h"
#include "widgets/WindowMoves.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStringList>

namespace vocalyn::call {

namespace {

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(SansSerifFont(13, true));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    label->setGeometry(geometry);
    return label;
}

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

QString OpenFileDialog(QWidget* parent, const QString& initialFile, const QString& filter) {
    QString firstFilter = filter.section(QStringLiteral(";;"), 0, 0);
    // Without this Qt shows the patterns a second time after each description.
    return QFileDialog::getOpenFileName(parent, QString(), initialFile, filter, &firstFilter,
                                        QFileDialog::HideNameFilterDetails);
}

} // namespace

TfrmSettings::TfrmSettings(const QString& dataDir, CallSettings& held, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), ChooseFile(OpenFileDialog),
      dataDir_(dataDir), held_(held) {
    setWindowTitle(QStringLiteral("Settings"));
    setFixedSize(kWidth, kHeight);
    setFont(SansSerifFont(13, false));
    CreateControls();
    ConnectHandlers();
}

TfrmSettings::~TfrmSettings() = default;

QString TfrmSettings::RingToneFilter() {
    struct Entry {
        const char* description;
        const char* patterns;
    };
    static const Entry kEntries[] = {
        {"Supported Media Files", "*.mp3 *.wav *.wma"},
        {"MP3 (*.mp3)", "*.mp3"},
        {"Wave (*.wav)", "*.wav"},
        {"Windows Media Audio (*.wma)", "*.wma"},
    };
    QStringList filters;
    for (const Entry& entry : kEntries)
        filters << QStringLiteral("%1 (%2)").arg(QLatin1String(entry.description),
                                                 QLatin1String(entry.patterns));
    return filters.join(QStringLiteral(";;"));
}

void TfrmSettings::CreateControls() {
    XiPanel1 = new SilverPanel(this);
    XiPanel1->setGeometry(0, 0, kWidth, kHeight);

    constexpr int kLabelLeft = 20;
    constexpr int kFieldLeft = 170;
    constexpr int kRight = kWidth - 20;
    constexpr int kRowHeight = 24;

    Label1 = MakeLabel(XiPanel1, QStringLiteral("Ring Tone"), {kLabelLeft, 20, 145, kRowHeight});
    edtRingTone = new QLineEdit(XiPanel1);
    edtRingTone->setGeometry(kFieldLeft, 20, kRight - kFieldLeft - 36, kRowHeight);
    btnRingTone = MakeButton(XiPanel1, QStringLiteral("..."), {kRight - 30, 20, 30, kRowHeight});

    Label2 =
        MakeLabel(XiPanel1, QStringLiteral("Ring Time (sec)"), {kLabelLeft, 54, 145, kRowHeight});
    sedRingTime = new SpinEdit(XiPanel1);
    sedRingTime->setRange(kMinRingTime_s, kMaxRingTime_s);
    sedRingTime->setGeometry(kFieldLeft, 54, 64, kRowHeight);

    Label3 = MakeLabel(XiPanel1, QStringLiteral("Unanswered Message"),
                       {kLabelLeft, 88, 145, kRowHeight});
    edtMessage = new LimitedLineEdit(kMaxTypedLength, XiPanel1);
    edtMessage->setGeometry(kFieldLeft, 88, kRight - kFieldLeft, kRowHeight);

    Label4 = MakeLabel(XiPanel1, QStringLiteral("Caller ID"), {kLabelLeft, 122, 145, kRowHeight});
    edtCallerID = new LimitedLineEdit(kMaxTypedLength, XiPanel1);
    edtCallerID->setGeometry(kFieldLeft, 122, kRight - kFieldLeft, kRowHeight);

    constexpr int kButtonTop = kHeight - 20 - 28;
    btnVideoOptions =
        MakeButton(XiPanel1, QStringLiteral("Video Options"), {kLabelLeft, kButtonTop, 110, 28});
    btnSave = MakeButton(XiPanel1, QStringLiteral("Save"), {kRight - 188, kButtonTop, 90, 28});
    btnClose = MakeButton(XiPanel1, QStringLiteral("Close"), {kRight - 90, kButtonTop, 90, 28});

    // Screen readers name each field after the label in front of it.
    Label1->setBuddy(edtRingTone);
    Label2->setBuddy(sedRingTime);
    Label3->setBuddy(edtMessage);
    Label4->setBuddy(edtCallerID);
    btnRingTone->setAccessibleName(QStringLiteral("Choose ring tone"));

    setTabOrder(edtRingTone, sedRingTime);
    setTabOrder(sedRingTime, edtMessage);
    setTabOrder(edtMessage, edtCallerID);
    setTabOrder(edtCallerID, btnSave);
    setTabOrder(btnSave, btnClose);
    setTabOrder(btnClose, btnVideoOptions);
    setTabOrder(btnVideoOptions, btnRingTone);
}

void TfrmSettings::ConnectHandlers() {
    connect(btnRingTone, &QPushButton::clicked, this, Guarded([this] { btnRingToneClick(); }));
    connect(btnSave, &QPushButton::clicked, this, Guarded([this] { btnSaveClick(); }));
    connect(btnClose, &QPushButton::clicked, this, Guarded([this] { btnCloseClick(); }));
    connect(btnVideoOptions, &QPushButton::clicked, this,
            Guarded([this] { btnVideoOptionsClick(); }));
    connect(XiPanel1, &SilverPanel::MousePressed, this, Guarded([this] { XiPanel1MouseDown(); }));
    for (QWidget* watched :
         std::initializer_list<QWidget*>{edtRingTone, sedRingTime, edtMessage, edtCallerID, btnSave,
                                         btnClose, btnVideoOptions, btnRingTone})
        watched->installEventFilter(this);
}

bool TfrmSettings::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();

    // The fields go on to see the key: the ring-time field beeps at Enter, the others pass it up
    // to the dialog, which ignores it.
    if (watched == edtRingTone)
        Guarded([this, key] { edtRingToneKeyDown(key); })();
    else if (watched == sedRingTime)
        Guarded([this, key] { sedRingTimeKeyDown(key); })();
    else if (watched == edtMessage)
        Guarded([this, key] { edtMessageKeyDown(key); })();
    else if (watched == edtCallerID)
        Guarded([this, key] { edtCallerIDKeyDown(key); })();
    else if (auto* button = qobject_cast<QPushButton*>(watched); button && IsEnter(key)) {
        button->click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmSettings::keyPressEvent(QKeyEvent* event) {
    // QDialog would close on Escape and press a default button on Enter; here neither key has a
    // function of its own.
    if (event->key() == Qt::Key_Escape || IsEnter(event->key())) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmSettings::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A spontaneous show is the window system mapping the window again (after a minimised main
    // window comes back, say): no new showing, so the edits stay.
    if (event->spontaneous())
        return;
    CentreOverOwner(*this);
    Guarded([this] { FormActivate(); })();
}

} // namespace vocalyn::call
