// The settings dialog through its real controls: keys and clicks in, the settings file and the
// held settings out.
#include "call/TfrmSettings.h"

#include "tests/support/ModalWatcher.h"
#include "widgets/ErrorReport.h"
#include "widgets/LimitedLineEdit.h"
#include "widgets/SilverPanel.h"
#include "widgets/SpinEdit.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace vocalyn::call {
namespace {

using test::ModalWatcher;

class SettingsDialogTest : public ::testing::Test {
protected:
    QString dataDir() const { return dir_.path() + QStringLiteral("/"); }
    QString path() const { return SettingsPath(dataDir()); }

    void Show() {
        dialog_.show();
        dialog_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog_));
    }
    static QWidget* Focused() { return QApplication::focusWidget(); }
    // Keys go where a user's keys would: to the focused control.
    static void Press(Qt::Key key) {
        QWidget* focused = Focused();
        ASSERT_NE(focused, nullptr);
        QTest::keyClick(focused, key);
    }
    static void Type(const QString& text) {
        QWidget* focused = Focused();
        ASSERT_NE(focused, nullptr);
        QTest::keyClicks(focused, text);
    }
    static void Click(QWidget* control) { QTest::mouseClick(control, Qt::LeftButton); }
    void TypeRingTime(const QString& text) {
        Click(dialog_.sedRingTime);
        dialog_.sedRingTime->setText({});
        Type(text);
    }

    // What the next start would load.
    CallSettings Stored() const {
        CallSettings stored;
        LoadSettings(dataDir(), QStringLiteral("<default>"), stored);
        return stored;
    }

    QTemporaryDir dir_;
    CallSettings held_{QStringLiteral("/tones/old.wav"), 12000, QStringLiteral("Away"),
                       QStringLiteral("desk")};
    TfrmSettings dialog_{dataDir(), held_};
};

void ExpectSame(const CallSettings& actual, const CallSettings& expected) {
    EXPECT_EQ(actual.RingTone, expected.RingTone);
    EXPECT_EQ(actual.RingTime, expected.RingTime);
    EXPECT_EQ(actual.Message, expected.Message);
    EXPECT_EQ(actual.CallerID, expected.CallerID);
}

TEST_F(SettingsDialogTest, IsABorderlessDialogCentredOverItsOwnerWithControlsInTabOrder) {
    QWidget owner;
    owner.setGeometry(100, 80, 658, 682);
    owner.show();
    TfrmSettings owned(dataDir(), held_, &owner);
    owned.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owned));

    EXPECT_TRUE(owned.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(owned.windowTitle(), "Settings");
    EXPECT_EQ(owned.size(), QSize(474, 231));
    EXPECT_EQ(owned.frameGeometry().center(), owner.frameGeometry().center());
    EXPECT_EQ(owned.XiPanel1->geometry(), owned.rect());

    const std::pair<QLabel*, const char*> labels[] = {{owned.Label1, "Ring Tone"},
                                                      {owned.Label2, "Ring Time (sec)"},
                                                      {owned.Label3, "Unanswered Message"},
                                                      {owned.Label4, "Caller ID"}};
    for (const auto& [label, text] : labels) {
        EXPECT_EQ(label->text(), text);
        EXPECT_TRUE(label->font().bold()) << text;
        // Nothing may be cut off.
        EXPECT_GE(label->width(), label->sizeHint().width()) << text;
    }

    owned.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&owned));
    const QWidget* order[] = {owned.edtRingTone,     owned.sedRingTime, owned.edtMessage,
                              owned.edtCallerID,     owned.btnSave,     owned.btnClose,
                              owned.btnVideoOptions, owned.btnRingTone, owned.edtRingTone};
    for (const QWidget* expected : order) {
        EXPECT_EQ(Focused(), expected) << expected->metaObject()->className();
        Press(Qt::Key_Tab);
    }
    for (QWidget* child : owned.findChildren<QWidget*>())
        EXPECT_TRUE(owned.rect().contains(child->geometry())) << child->metaObject()->className();
}

TEST_F(SettingsDialogTest, EveryShowingFillsTheFieldsFromTheHeldSettings) {
    struct Row {
        qint32 ringTime_ms;
        QString shown;
    };
    const Row rows[] = {{12999, "12"}, {0, "1"},      {999, "1"},
                        {-4000, "1"},  {45000, "30"}, {30999, "30"}};
    const QString longCallerID(70, QLatin1Char('c'));
    held_.CallerID = longCallerID;
    held_.Message = QString(60, QLatin1Char('m'));
    for (const Row& row : rows) {
        held_.RingTime = row.ringTime_ms;
        Show();
        EXPECT_EQ(dialog_.sedRingTime->text(), row.shown) << row.ringTime_ms;
        EXPECT_EQ(dialog_.edtRingTone->text(), held_.RingTone);
        EXPECT_EQ(dialog_.edtMessage->text(), held_.Message);
        EXPECT_EQ(dialog_.edtCallerID->text(), longCallerID);
        EXPECT_EQ(Focused(), dialog_.edtRingTone);

        // Edits closed without Save are gone at the next showing.
        Type(QStringLiteral("x"));
        dialog_.edtCallerID->clear();
        Click(dialog_.btnClose);
        EXPECT_FALSE(dialog_.isVisible());
    }
    ExpectSame(held_, {"/tones/old.wav", 30999, QString(60, QLatin1Char('m')), longCallerID});
    EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(SettingsDialogTest, EnterWalksTheFieldsToSaveAndThenSaves) {
    Show();
    QSignalSpy beeps(dialog_.sedRingTime, &SpinEdit::Refused);
    const QWidget* walk[] = {dialog_.edtRingTone, dialog_.sedRingTime, dialog_.edtMessage,
                             dialog_.edtCallerID, dialog_.btnSave};
    for (size_t i = 0; i + 1 < std::size(walk); ++i) {
        ASSERT_EQ(Focused(), walk[i]) << i;
        Press(Qt::Key_Return);
        EXPECT_TRUE(dialog_.isVisible());
    }
    ASSERT_EQ(Focused(), dialog_.btnSave);
    // Only the ring-time field refuses the Enter it passes on.
    EXPECT_EQ(beeps.count(), 1);

    Press(Qt::Key_Enter);
    EXPECT_FALSE(dialog_.isVisible());
    EXPECT_EQ(dialog_.result(), QDialog::Accepted);
    ExpectSame(Stored(), {"/tones/old.wav", 12000, "Away", "desk"});
}

TEST_F(SettingsDialogTest, ButtonsArePressedByEnterOrBySpaceReleaseWhenFocused) {
    int videoOptions = 0;
    dialog_.OnVideoOptions = [&] { ++videoOptions; };
    Show();

    dialog_.btnVideoOptions->setFocus();
    Press(Qt::Key_Return);
    EXPECT_EQ(videoOptions, 1);

    QTest::keyPress(Focused(), Qt::Key_Space);
    EXPECT_EQ(videoOptions, 1);
    QTest::keyRelease(Focused(), Qt::Key_Space);
    EXPECT_EQ(videoOptions, 2);

    dialog_.btnClose->setFocus();
    QTest::keyPress(Focused(), Qt::Key_Space);
    EXPECT_TRUE(dialog_.isVisible());
    QTest::keyRelease(Focused(), Qt::Key_Space);
    EXPECT_FALSE(dialog_.isVisible());
    EXPECT_EQ(dialog_.result(), QDialog::Rejected);
}

TEST_F(SettingsDialogTest, EscapeDoesNothingAnywhere) {
    Show();
    for (QWidget* control : std::initializer_list<QWidget*>{
             dialog_.edtRingTone, dialog_.sedRingTime, dialog_.edtMessage, dialog_.edtCallerID,
             dialog_.btnSave, dialog_.btnClose, dialog_.btnVideoOptions, dialog_.btnRingTone}) {
        control->setFocus();
        Press(Qt::Key_Escape);
        ASSERT_TRUE(dialog_.isVisible()) << control->metaObject()->className();
    }
    EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(SettingsDialogTest, RingTimeFieldRefusesWhatCannotBelongToANumber) {
    Show();
    QSignalSpy beeps(dialog_.sedRingTime, &SpinEdit::Refused);
    const QString decimalPoint = QLocale().decimalPoint();
    TypeRingTime(QStringLiteral("1a+ -x") + decimalPoint + QStringLiteral("2/"));
    EXPECT_EQ(dialog_.sedRingTime->text(), QStringLiteral("1+-") + decimalPoint + "2");
    EXPECT_EQ(beeps.count(), 4); // a, blank, x, /

    // Control keys still edit: Backspace, Delete, and combinations such as select-all.
    Press(Qt::Key_Backspace);
    Press(Qt::Key_Home);
    Press(Qt::Key_Delete);
    EXPECT_EQ(dialog_.sedRingTime->text(), QStringLiteral("+-") + decimalPoint);
    QTest::keyClick(Focused(), Qt::Key_A, Qt::ControlModifier);
    Type(QStringLiteral("7"));
    EXPECT_EQ(dialog_.sedRingTime->text(), "7");
    EXPECT_EQ(beeps.count(), 4);
}

TEST_F(SettingsDialogTest, ArrowKeysAndButtonsStepByOneWithinTheRange) {
    Show();
    SpinEdit* field = dialog_.sedRingTime;
    field->setFocus();
    Press(Qt::Key_Up);
    EXPECT_EQ(field->text(), "13");
    Press(Qt::Key_Down);
    Press(Qt::Key_Down);
    EXPECT_EQ(field->text(), "11");

    field->setText(QStringLiteral("30"));
    Press(Qt::Key_Up);
    EXPECT_EQ(field->text(), "30");
    field->setText(QStringLiteral("1"));
    Press(Qt::Key_Down);
    EXPECT_EQ(field->text(), "1");
    // A typed number outside the range steps back into it; no number counts as 1.
    field->setText(QStringLiteral("45"));
    Press(Qt::Key_Down);
    EXPECT_EQ(field->text(), "30");
    field->setText(QStringLiteral("abc"));
    Press(Qt::Key_Up);
    EXPECT_EQ(field->text(), "2");

    // The buttons sit at the right end, up above down.
    const QPoint up(field->width() - 6, 4);
    const QPoint down(field->width() - 6, field->height() - 4);
    QTest::mouseClick(field, Qt::LeftButton, {}, up);
    QTest::mouseClick(field, Qt::LeftButton, {}, up);
    EXPECT_EQ(field->text(), "4");
    QTest::mouseClick(field, Qt::LeftButton, {}, down);
    EXPECT_EQ(field->text(), "3");
}

TEST_F(SettingsDialogTest, RingTimeIsLimitedWhenTheFocusLeavesSoSaveStoresOneToThirty) {
    struct Row {
        const char* typed;
        const char* afterFocusLoss;
        int stored_s;
    };
    const Row rows[] = {{"45", "30", 30}, {"", "", 1},   {"0", "1", 1},
                        {"-7", "1", 1},   {"7", "7", 7}, {"1.5", "1.5", 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        Show();
        TypeRingTime(QString::fromLatin1(row.typed));
        Press(Qt::Key_Tab);
        EXPECT_EQ(dialog_.sedRingTime->text(), row.afterFocusLoss);

        TypeRingTime(QString::fromLatin1(row.typed));
        // The press on Save takes the focus first, so the field is limited before Save reads it.
        Click(dialog_.btnSave);
        EXPECT_FALSE(dialog_.isVisible());
        EXPECT_EQ(Stored().RingTime, row.stored_s * 1000);
        EXPECT_EQ(held_.RingTime, row.stored_s * 1000);
    }
}

TEST_F(SettingsDialogTest, TextFieldsTakeFiftyTypedCharactersButKeepALongerHeldText) {
    held_.CallerID = QString(70, QLatin1Char('c'));
    Show();

    dialog_.edtMessage->clear();
    dialog_.edtMessage->setFocus();
    Type(QString(55, QLatin1Char('m')));
    EXPECT_EQ(dialog_.edtMessage->text(), QString(50, QLatin1Char('m')));
    // A paste (in the middle, and one that would split a character) keeps the part that fits.
    for (const QString& pasted : {QStringLiteral("0123456789"), QStringLiteral("0123\U0001F600")}) {
        dialog_.edtMessage->setText(QString(45, QLatin1Char('m')));
        dialog_.edtMessage->setCursorPosition(40);
        dialog_.edtMessage->insert(pasted);
        EXPECT_EQ(dialog_.edtMessage->text(), QString(40, QLatin1Char('m')) + pasted.left(4) +
                                                  (pasted.size() == 10 ? "4" : "") +
                                                  QString(5, QLatin1Char('m')));
    }
    dialog_.edtMessage->setText(QString(50, QLatin1Char('m')));

    // Over the limit, an edit may shorten the text but never lengthen it.
    dialog_.edtCallerID->setFocus();
    Type(QStringLiteral("d"));
    EXPECT_EQ(dialog_.edtCallerID->text().size(), 70);
    Press(Qt::Key_Backspace);
    Type(QStringLiteral("d"));
    EXPECT_EQ(dialog_.edtCallerID->text(), QString(69, QLatin1Char('c')));

    // The ring tone has no limit.
    dialog_.edtRingTone->setFocus();
    Type(QString(80, QLatin1Char('t')));
    EXPECT_EQ(dialog_.edtRingTone->text().size(), QStringLiteral("/tones/old.wav").size() + 80);

    Click(dialog_.btnSave);
    EXPECT_EQ(Stored().CallerID, QString(69, QLatin1Char('c')));
    EXPECT_EQ(held_.Message, QString(50, QLatin1Char('m')));
}

TEST_F(SettingsDialogTest, SaveWritesTheFileAndTheHeldSettingsCloseChangesNothing) {
    Show();
    dialog_.edtRingTone->setText(QString());
    dialog_.sedRingTime->setText(QStringLiteral("25"));
    dialog_.edtMessage->setText(QStringLiteral("Out to lunch"));
    dialog_.edtCallerID->setText(QStringLiteral("Reception"));
    Click(dialog_.btnClose);
    ExpectSame(held_, {"/tones/old.wav", 12000, "Away", "desk"});
    EXPECT_FALSE(QFile::exists(path()));

    Show();
    dialog_.edtRingTone->setText(QString());
    dialog_.sedRingTime->setText(QStringLiteral("25"));
    dialog_.edtMessage->setText(QStringLiteral("Out to lunch"));
    dialog_.edtCallerID->setText(QStringLiteral("Reception"));
    Click(dialog_.btnSave);
    // An empty ring tone is saved as no ring tone.
    const CallSettings expected{"", 25000, "Out to lunch", "Reception"};
    ExpectSame(held_, expected);
    ExpectSame(Stored(), expected);
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().replace("\r\n", "\n").split('\n').mid(0, 5),
              QByteArrayList({"[Settings]", "RingTone=", "RingTime=25", "Message=Out to lunch",
                              "CallerID=Reception"}));
}

TEST_F(SettingsDialogTest, RefusedWriteIsReportedAndKeepsTheHeldSettingsAndTheDialog) {
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Settings]\nRingTime=5\n");
    }
    // No write bit at all counts as read-only even for root.
    ASSERT_TRUE(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    Show();
    dialog_.edtCallerID->setText(QStringLiteral("Reception"));

    ModalWatcher watcher;
    Click(dialog_.btnSave);
    ASSERT_TRUE(watcher.box().seen);
    EXPECT_EQ(watcher.box().text, WithFullStop(QStringLiteral("Unable to write to ") + path()));
    EXPECT_EQ(watcher.box().icon, QMessageBox::Critical);
    EXPECT_TRUE(dialog_.isVisible());
    EXPECT_EQ(dialog_.edtCallerID->text(), "Reception");
    ExpectSame(held_, {"/tones/old.wav", 12000, "Away", "desk"});
    EXPECT_EQ(Stored().RingTime, 5000);
}

TEST_F(SettingsDialogTest, ChooserStartsAtTheCurrentTextAndCancellingKeepsIt) {
    QStringList asked;
    QString answer;
    dialog_.ChooseFile = [&](QWidget* parent, const QString& initialFile, const QString& filter) {
        EXPECT_EQ(parent, &dialog_);
        // The press has moved the focus to the button before the click.
        EXPECT_EQ(Focused(), dialog_.btnRingTone);
        EXPECT_EQ(filter, TfrmSettings::RingToneFilter());
        asked << initialFile;
        return answer;
    };
    Show();
    dialog_.edtMessage->setText(QStringLiteral("edited"));

    answer = QString(); // cancelled
    Click(dialog_.btnRingTone);
    EXPECT_EQ(dialog_.edtRingTone->text(), "/tones/old.wav");
    answer = QStringLiteral("/home/me/bell.mp3");
    Click(dialog_.btnRingTone);
    EXPECT_EQ(dialog_.edtRingTone->text(), "/home/me/bell.mp3");
    Click(dialog_.btnRingTone);

    EXPECT_EQ(asked, QStringList({"/tones/old.wav", "/tones/old.wav", "/home/me/bell.mp3"}));
    EXPECT_EQ(dialog_.edtMessage->text(), "edited");
    EXPECT_TRUE(dialog_.isVisible());
}

// The chooser as the user meets it: Qt's own dialog, since the test platform has no native one.
TEST_F(SettingsDialogTest, TheRealChooserShowsTheKindsByTheirNamesAndStartsWithAllOfThem) {
    Show();
    const QString tone = dir_.filePath(QStringLiteral("bell.mp3"));
    dialog_.edtRingTone->setText(tone);

    QStringList shown;
    QString selected;
    QStringList allKinds;
    QStringList waveOnly;
    QString startFile;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!chooser)
            return;
        watch.stop();
        if (auto* kinds = chooser->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
            for (int i = 0; i < kinds->count(); ++i)
                shown << kinds->itemText(i);
            selected = kinds->currentText();
        }
        if (auto* files = chooser->findChild<QFileSystemModel*>()) {
            allKinds = files->nameFilters();
            chooser->selectNameFilter(chooser->nameFilters().value(2));
            waveOnly = files->nameFilters();
        }
        startFile = chooser->selectedFiles().value(0);
        chooser->reject();
    });
    watch.start();
    Click(dialog_.btnRingTone);

    EXPECT_EQ(shown, QStringList({"Supported Media Files", "MP3 (*.mp3)", "Wave (*.wav)",
                                  "Windows Media Audio (*.wma)"}));
    EXPECT_EQ(selected, "Supported Media Files");
    // The patterns still filter, each kind by its own.
    EXPECT_EQ(allKinds, QStringList({"*.mp3", "*.wav", "*.wma"}));
    EXPECT_EQ(waveOnly, QStringList({"*.wav"}));
    EXPECT_EQ(startFile, tone);
    // Cancelled: the field is as it was.
    EXPECT_EQ(dialog_.edtRingTone->text(), tone);
}

TEST_F(SettingsDialogTest, UnsavedEditsSurviveTheVideoOptionsDialog) {
    bool nestedShown = false;
    dialog_.OnVideoOptions = [&] {
        QDialog options(&dialog_);
        QTimer::singleShot(0, &options, [&] {
            nestedShown = QTest::qWaitForWindowActive(&options);
            options.accept();
        });
        options.exec();
    };
    Show();
    dialog_.edtRingTone->setText(QStringLiteral("/tones/new.wav"));
    dialog_.sedRingTime->setText(QStringLiteral("20"));
    dialog_.edtMessage->setText(QStringLiteral("Back soon"));
    dialog_.edtCallerID->setText(QStringLiteral("Lab"));

    Click(dialog_.btnVideoOptions);
    EXPECT_TRUE(nestedShown);
    // The focus comes back to the dialog, which must not count as a new showing.
    dialog_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog_));
    EXPECT_TRUE(dialog_.isVisible());
    EXPECT_EQ(dialog_.edtRingTone->text(), "/tones/new.wav");
    EXPECT_EQ(dialog_.sedRingTime->text(), "20");
    EXPECT_EQ(dialog_.edtMessage->text(), "Back soon");
    EXPECT_EQ(dialog_.edtCallerID->text(), "Lab");

    Click(dialog_.btnSave);
    ExpectSame(held_, {"/tones/new.wav", 20000, "Back soon", "Lab"});
}

TEST_F(SettingsDialogTest, ShownModallyItReturnsWhenSaved) {
    QTimer::singleShot(0, &dialog_, [&] {
        if (!QTest::qWaitForWindowActive(&dialog_))
            return dialog_.reject();
        Press(Qt::Key_Return);
        Type(QStringLiteral("9"));
        Click(dialog_.btnSave);
    });
    // Bounded: nothing may leave the test stuck in the dialog.
    QTimer::singleShot(10000, &dialog_, [&] { dialog_.reject(); });
    held_.RingTime = 0;
    EXPECT_EQ(dialog_.exec(), QDialog::Accepted);
    EXPECT_EQ(held_.RingTime, 9000);
}

} // namespace
} // namespace vocalyn::call
