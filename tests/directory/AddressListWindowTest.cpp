#include "directory/TfrmAddressList.h"

#include "base/AppInfo.h"
#include "base/Error.h"
#include "directory/AddressBookStore.h"
#include "tests/directory/BoxAnswerer.h"
#include "tests/support/OtherFileKinds.h"
#include "tests/support/Watchdog.h"
#include "widgets/ErrorReport.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

namespace vocalyn::directory {
namespace {

using test::BoxAnswerer;
using namespace std::chrono_literals;

mode_t ModeOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode;
}

long MaxResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class AddressListWindowTest : public ::testing::Test {
protected:
    QString dataDir() const { return dir_.path() + QStringLiteral("/"); }
    QString path() const { return dataDir() + QStringLiteral("IPAddress.dat"); }

    void WriteFile(const QByteArray& bytes) const {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    QByteArray ReadFile() const {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    std::unique_ptr<TfrmAddressList> OpenWindow(const QString& dir = {}) {
        auto window = std::make_unique<TfrmAddressList>(dir.isEmpty() ? dataDir() : dir, host_);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return window;
    }
    static void Select(TfrmAddressList& window, int row) {
        const QModelIndex index = window.ListBox1->model()->index(row, 0);
        window.ListBox1->selectionModel()->setCurrentIndex(index,
                                                           QItemSelectionModel::ClearAndSelect);
    }
    static void TypeInto(QLineEdit* field, const QString& text) {
        field->setFocus();
        QTest::keyClicks(field, text);
    }

    void Chmod(mode_t mode) const {
        ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), mode), 0);
    }
    QString CannotCreate() const {
        return WithFullStop(QStringLiteral("Cannot create file ") + path());
    }

    QTemporaryDir dir_;
    QLineEdit host_{QStringLiteral("Host Name or IP Address")};
    BoxAnswerer boxes_;
};

TEST_F(AddressListWindowTest, TypingLimitsAndTabOrder) {
    auto window = OpenWindow();
    TypeInto(window->edtName, QString(30, QLatin1Char('n')));
    TypeInto(window->edtIPAdd, QString(30, QLatin1Char('h')));
    EXPECT_EQ(window->edtName->text().size(), 20);
    EXPECT_EQ(window->edtIPAdd->text().size(), 25);

    const std::vector<QWidget*> order{
        window->edtName, window->edtIPAdd,  window->ListBox1, window->btnSend,  window->btnExit,
        window->btnAdd,  window->btnDelete, window->btnWho,   window->btnClear, window->edtName};
    window->edtName->setFocus();
    for (size_t i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), order[i]) << "tab stop " << i;
    }
}

TEST_F(AddressListWindowTest, LoadsSortedAndRewritesOnlyAfterAChange) {
    const QByteArray sixBytes("\x61\x0D\x0A\x0D\x0A\x62", 6);
    WriteFile(sixBytes);
    auto window = std::make_unique<TfrmAddressList>(dataDir(), host_);
    EXPECT_EQ(window->Entries(), (QStringList{"", "a", "b"}));
    window.reset();
    EXPECT_TRUE(boxes_.Boxes().empty());
    EXPECT_EQ(ReadFile(), sixBytes);

    // A change and its undoing: the same list, now written in list order.
    window = OpenWindow();
    window->AddAddress("c", "3");
    Select(*window, 3);
    boxes_.AnswerNext(QMessageBox::Yes);
    QTest::mouseClick(window->btnDelete, Qt::LeftButton);
    EXPECT_EQ(window->Entries(), (QStringList{"", "a", "b"}));
    window.reset();
    EXPECT_EQ(ReadFile(), QByteArray("\x0D\x0A\x61\x0D\x0A\x62\x0D\x0A", 8));
}

TEST_F(AddressListWindowTest, MissingFileIsReportedAndCreatedAtTheEnd) {
    auto window = std::make_unique<TfrmAddressList>(dataDir(), host_);
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].title, "Error");
    EXPECT_EQ(boxes_.Boxes()[0].text, "File [IPAddress.dat] not Found.");
    EXPECT_EQ(boxes_.Boxes()[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(window->Entries().isEmpty());
    window.reset();
    EXPECT_EQ(ReadFile(), QByteArray());
}

TEST_F(AddressListWindowTest, EnterWalksToTheAddressThenAddsAndEscapeDoesNotClose) {
    WriteFile("zed <198.18.0.9>\r\n");
    auto window = OpenWindow();
    TypeInto(window->edtName, "Ann");
    QTest::keyClick(window->edtName, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), window->edtIPAdd);
    EXPECT_TRUE(window->Entries().size() == 1);

    QTest::keyClicks(window->edtIPAdd, "198.18.0.1");
    QTest::keyClick(window->edtIPAdd, Qt::Key_Enter);
    EXPECT_EQ(window->Entries(), (QStringList{"Ann <198.18.0.1>", "zed <198.18.0.9>"}));
    EXPECT_EQ(ReadFile(), "Ann <198.18.0.1>\r\nzed <198.18.0.9>\r\n");
    EXPECT_TRUE(window->edtName->text().isEmpty());
    EXPECT_TRUE(window->edtIPAdd->text().isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), window->edtName);

    for (QWidget* target :
         {static_cast<QWidget*>(window->edtName), static_cast<QWidget*>(window->ListBox1),
          static_cast<QWidget*>(window->btnExit)}) {
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Escape);
        QTest::keyClick(target, Qt::Key_Return);
        EXPECT_TRUE(window->isVisible());
    }
    EXPECT_EQ(host_.text(), "Host Name or IP Address");
    EXPECT_EQ(window->Entries().size(), 2);
}

TEST_F(AddressListWindowTest, AddWithEmptyFieldsAndChoosingIt) {
    auto window = OpenWindow();
    QTest::mouseClick(window->btnAdd, Qt::LeftButton);
    ASSERT_EQ(window->Entries(), QStringList{" <>"});
    EXPECT_EQ(ReadFile(), " <>\r\n");

    Select(*window, 0);
    QTest::mouseClick(window->btnSend, Qt::LeftButton);
    EXPECT_EQ(host_.text(), "");
    EXPECT_FALSE(window->isVisible());
}

TEST_F(AddressListWindowTest, ChoosingTakesTheAddressByItsRules) {
    WriteFile("typed by hand\r\nAnn <host.lan\r\nBea <198.18.0.2>\r\nx<\r\n");
    auto window = OpenWindow();
    ASSERT_EQ(window->Entries(),
              (QStringList{"Ann <host.lan", "Bea <198.18.0.2>", "typed by hand", "x<"}));
    const QStringList expected{"host.la", "198.18.0.2", "typed by hand"};
    for (int row = 0; row < expected.size(); ++row) {
        window->show();
        Select(*window, row);
        const QRect rect = window->ListBox1->visualRect(window->ListBox1->model()->index(row, 0));
        QTest::mouseClick(window->ListBox1->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(window->ListBox1->viewport(), Qt::LeftButton, {}, rect.center());
        EXPECT_EQ(host_.text(), expected[row]);
        EXPECT_FALSE(window->isVisible());
    }

    window->show();
    host_.setText("before");
    Select(*window, 3);
    QTest::mouseClick(window->btnSend, Qt::LeftButton);
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].title, "Warning");
    EXPECT_EQ(boxes_.Boxes()[0].text, "Wrong Address Format.");
    EXPECT_EQ(host_.text(), "before");
    EXPECT_TRUE(window->isVisible());

    // With nothing selected, OK does nothing at all.
    window->ListBox1->clearSelection();
    QTest::mouseClick(window->btnSend, Qt::LeftButton);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(boxes_.Boxes().size(), 1u);
}

TEST_F(AddressListWindowTest, DeleteAndClearAskFirstAndReachTheFile) {
    WriteFile("a <1>\r\nb <2>\r\nc <3>\r\n");
    auto window = OpenWindow();

    window->ListBox1->clearSelection();
    boxes_.AnswerNext(QMessageBox::Yes);
    QTest::mouseClick(window->btnDelete, Qt::LeftButton);
    EXPECT_EQ(window->Entries().size(), 3);
    EXPECT_EQ(window->focusWidget(), window->edtName);

    Select(*window, 1);
    boxes_.AnswerNext(QMessageBox::No);
    QTest::mouseClick(window->btnDelete, Qt::LeftButton);
    EXPECT_EQ(window->Entries().size(), 3);
    boxes_.AnswerNext(QMessageBox::Yes);
    QTest::mouseClick(window->btnDelete, Qt::LeftButton);
    EXPECT_EQ(window->Entries(), (QStringList{"a <1>", "c <3>"}));
    EXPECT_EQ(ReadFile(), "a <1>\r\nc <3>\r\n");

    boxes_.AnswerNext(QMessageBox::No);
    QTest::mouseClick(window->btnClear, Qt::LeftButton);
    EXPECT_EQ(window->Entries().size(), 2);
    boxes_.AnswerNext(QMessageBox::Yes);
    QTest::mouseClick(window->btnClear, Qt::LeftButton);
    EXPECT_TRUE(window->Entries().isEmpty());
    EXPECT_EQ(ReadFile(), QByteArray());

    ASSERT_EQ(boxes_.Boxes().size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(boxes_.Boxes()[i].title, "Confirm");
        EXPECT_EQ(boxes_.Boxes()[i].buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(boxes_.Boxes()[i].text, i < 3 ? "Delete selected Address?" : "Clear List?");
    }
}

TEST_F(AddressListWindowTest, ReopeningKeepsTheSelection) {
    WriteFile("a\r\nb\r\nc\r\n");
    auto window = OpenWindow();
    EXPECT_EQ(window->SelectedRow(), 0);
    Select(*window, 2);
    QTest::mouseClick(window->btnExit, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    window->show();
    EXPECT_EQ(window->SelectedRow(), 2);
}

TEST_F(AddressListWindowTest, BrowserAdditionsAndDuplicatesReachTheFileAtOnce) {
    WriteFile("zed <9>\r\n");
    auto window = OpenWindow();
    window->AddAddress("Ann", "h");
    window->AddAddress("ANN", "H");
    window->AddAddress("Ann", "h");
    EXPECT_EQ(window->Entries(), (QStringList{"Ann <h>", "ANN <H>", "Ann <h>", "zed <9>"}));
    EXPECT_EQ(ReadFile(), "Ann <h>\r\nANN <H>\r\nAnn <h>\r\nzed <9>\r\n");

    window->InsertAddress("", "server.local");
    EXPECT_EQ(ReadFile(), "Ann <h>\r\nANN <H>\r\nAnn <h>\r\nzed <9>\r\n");
    window->SaveAddressList();
    EXPECT_EQ(ReadFile(), " <server.local>\r\nAnn <h>\r\nANN <H>\r\nAnn <h>\r\nzed <9>\r\n");

    bool whoRan = false;
    QTest::mouseClick(window->btnWho, Qt::LeftButton); // no browser yet: nothing happens
    window->OnWhoClick = [&] { whoRan = true; };
    QTest::mouseClick(window->btnWho, Qt::LeftButton);
    EXPECT_TRUE(whoRan);
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(AddressListWindowTest, AFailedWriteIsReportedWithThePath) {
    QFile plain(dir_.path() + QStringLiteral("/plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    // A directory below a regular file cannot exist, not even for root.
    const QString badDir = plain.fileName() + QStringLiteral("/");
    const QString report =
        WithFullStop(QStringLiteral("Cannot create file ") + badDir + "IPAddress.dat");

    auto window = OpenWindow(badDir);
    QTest::mouseClick(window->btnAdd, Qt::LeftButton);
    EXPECT_EQ(window->Entries(), QStringList{" <>"});
    window.reset();

    ASSERT_EQ(boxes_.Boxes().size(), 3u);
    EXPECT_EQ(boxes_.Boxes()[0].text, "File [IPAddress.dat] not Found.");
    for (size_t i : {1u, 2u}) {
        EXPECT_EQ(boxes_.Boxes()[i].title, QString::fromLatin1(kApplicationTitle));
        EXPECT_EQ(boxes_.Boxes()[i].text, report);
        EXPECT_EQ(boxes_.Boxes()[i].icon, QMessageBox::Critical);
    }
}

TEST_F(AddressListWindowTest, AFailedWriteLeavesTheOldFileWhole) {
    WriteFile("Old <198.18.0.9>\r\n");
    auto window = OpenWindow();

    // Writes beyond 8 bytes fail with EFBIG, also for root.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{8, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString message;
    try {
        window->AddAddress("New", "198.18.0.10");
    } catch (const Error& error) {
        message = error.message();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(message, "Cannot create file " + path());
    EXPECT_EQ(ReadFile(), "Old <198.18.0.9>\r\n");
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"IPAddress.dat"});
    EXPECT_EQ(window->Entries().size(), 2);
}

TEST_F(AddressListWindowTest, OtherKindsOfFileAreReportedAndLeftAlone) {
    for (const test::OtherFileKind& kind : test::kOtherFileKinds) {
        SCOPED_TRACE(kind.name);
        const QString sub = dataDir() + QLatin1String(kind.name).first(4) + QLatin1Char('/');
        ASSERT_TRUE(QDir().mkdir(sub));
        const QString file = AddressBookPath(sub);
        ASSERT_TRUE(kind.make(file));
        const size_t boxesBefore = boxes_.Boxes().size();
        const long memoryBefore = MaxResidentKilobytes();
        {
            test::Watchdog watchdog(10s, kind.name);
            auto window = std::make_unique<TfrmAddressList>(sub, host_);
            EXPECT_TRUE(window->Entries().isEmpty());
            // Closing without a change writes nothing, so nothing is reported either.
        }
        EXPECT_LT(MaxResidentKilobytes() - memoryBefore, 64 * 1024);
        ASSERT_EQ(boxes_.Boxes().size(), boxesBefore + 1);
        EXPECT_EQ(boxes_.Boxes().back().text, "File [IPAddress.dat] not Found.");
        EXPECT_TRUE(kind.is(ModeOf(file)));

        // A change cannot be written there, and the thing at the path stays what it was.
        test::Watchdog watchdog(10s, kind.name);
        auto window = std::make_unique<TfrmAddressList>(sub, host_);
        QString message;
        try {
            window->AddAddress("Ann", "198.18.0.1");
        } catch (const Error& error) {
            message = error.message();
        }
        EXPECT_EQ(message, "Cannot create file " + file);
        EXPECT_TRUE(kind.is(ModeOf(file)));
    }
    EXPECT_EQ(ModeOf(QStringLiteral("/dev/zero")) & S_IFMT, S_IFCHR);
}

TEST_F(AddressListWindowTest, AnOverLongFileIsNotReadNorCut) {
    QByteArray bytes;
    const QByteArray line("Ann <198.18.0.1>\r\n");
    bytes.reserve(kMaxAddressBookSize + line.size());
    while (bytes.size() <= kMaxAddressBookSize)
        bytes += line;
    WriteFile(bytes);
    auto window = std::make_unique<TfrmAddressList>(dataDir(), host_);
    EXPECT_TRUE(window->Entries().isEmpty());
    window.reset();
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, "File [IPAddress.dat] not Found.");
    EXPECT_TRUE(ReadFile() == bytes);
}

TEST_F(AddressListWindowTest, AReadOnlyFileIsNeverReplaced) {
    // Root may write any file, so the owner's missing write bit is what makes it read-only.
    WriteFile("Old <198.18.0.9>\r\n");
    Chmod(0444);
    auto window = OpenWindow();
    TypeInto(window->edtName, "New");
    TypeInto(window->edtIPAdd, "198.18.0.10");
    QTest::mouseClick(window->btnAdd, Qt::LeftButton);
    EXPECT_EQ(window->Entries(), (QStringList{"New <198.18.0.10>", "Old <198.18.0.9>"}));
    window.reset();

    // Reported at the change and again at the end, when it is still unwritten.
    ASSERT_EQ(boxes_.Boxes().size(), 2u);
    for (const auto& box : boxes_.Boxes()) {
        EXPECT_EQ(box.title, QString::fromLatin1(kApplicationTitle));
        EXPECT_EQ(box.text, CannotCreate());
    }
    EXPECT_EQ(ReadFile(), "Old <198.18.0.9>\r\n");
    EXPECT_EQ(ModeOf(path()) & 07777, 0444);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"IPAddress.dat"});
}

TEST_F(AddressListWindowTest, AReplacedFileKeepsItsMode) {
    WriteFile("Old <198.18.0.9>\r\n");
    for (const mode_t mode : {0600, 0640}) {
        Chmod(mode);
        auto window = OpenWindow();
        window->AddAddress("New", QString::number(mode, 8));
        EXPECT_EQ(ModeOf(path()) & 07777, mode);
    }
    EXPECT_EQ(ReadFile(), "New <600>\r\nNew <640>\r\nOld <198.18.0.9>\r\n");
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(AddressListWindowTest, ANulInTheFileCutsNothing) {
    const QByteArray file("b <2>\r\na\0c <1>\r\nd <4>\r\n", 23);
    WriteFile(file);
    auto window = OpenWindow();
    EXPECT_EQ(window->Entries(), (QStringList{QStringLiteral("a\uFFFDc <1>"), "b <2>", "d <4>"}));
    window.reset();
    EXPECT_TRUE(boxes_.Boxes().empty());
    EXPECT_EQ(ReadFile(), file);

    window = OpenWindow();
    window->AddAddress("e", "5");
    EXPECT_EQ(ReadFile(), QByteArray("a\0c <1>\r\nb <2>\r\nd <4>\r\ne <5>\r\n", 30));
    Select(*window, 0);
    QTest::mouseClick(window->btnSend, Qt::LeftButton);
    EXPECT_EQ(host_.text(), "1");
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(AddressListWindowTest, LinesInAnotherEncodingComeBackByteForByte) {
    const QByteArray file("zed <9>\r\nM\xFCller <198.18.0.7>\r\n");
    WriteFile(file);
    auto window = OpenWindow();
    const QString mueller = QStringLiteral("M\u00FCller <198.18.0.7>");
    EXPECT_EQ(window->Entries(), (QStringList{mueller, "zed <9>"}));

    TypeInto(window->edtName, "Ann");
    TypeInto(window->edtIPAdd, "1");
    QTest::mouseClick(window->btnAdd, Qt::LeftButton);
    EXPECT_EQ(ReadFile(), "Ann <1>\r\nM\xFCller <198.18.0.7>\r\nzed <9>\r\n");
    Select(*window, 0);
    boxes_.AnswerNext(QMessageBox::Yes);
    QTest::mouseClick(window->btnDelete, Qt::LeftButton);
    EXPECT_EQ(ReadFile(), "M\xFCller <198.18.0.7>\r\nzed <9>\r\n");

    // New text is stored as UTF-8 beside the old line, which keeps its own byte.
    window->AddAddress(QStringLiteral("m\u00FCller"), "2");
    EXPECT_EQ(window->Entries(),
              (QStringList{mueller, QStringLiteral("m\u00FCller <2>"), "zed <9>"}));
    EXPECT_EQ(ReadFile(), "M\xFCller <198.18.0.7>\r\nm\xC3\xBCller <2>\r\nzed <9>\r\n");

    // The old line can be chosen and deleted like any other.
    Select(*window, 0);
    QTest::mouseClick(window->btnSend, Qt::LeftButton);
    EXPECT_EQ(host_.text(), "198.18.0.7");
    window->show();
    Select(*window, 0);
    boxes_.AnswerNext(QMessageBox::Yes);
    QTest::mouseClick(window->btnDelete, Qt::LeftButton);
    EXPECT_EQ(window->Entries(), (QStringList{QStringLiteral("m\u00FCller <2>"), "zed <9>"}));
    EXPECT_EQ(ReadFile(), "m\xC3\xBCller <2>\r\nzed <9>\r\n");
    EXPECT_EQ(boxes_.Boxes().size(), 2u);
}

} // namespace
} // namespace vocalyn::directory
