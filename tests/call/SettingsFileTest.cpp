#include "call/SettingsFile.h"
#include "call/ProfileFile.h"

#include "base/Error.h"
#include "tests/support/OtherFileKinds.h"
#include "tests/support/Watchdog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>

namespace vocalyn::call {
namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    QString dataDir() const { return dir_.path() + QStringLiteral("/"); }
    QString path() const { return SettingsPath(dataDir()); }

    void WriteFile(const QByteArray& text) const {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(text), text.size());
    }
    QByteArray ReadFile() const {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    CallSettings Load() const {
        CallSettings held;
        LoadSettings(dataDir(), QStringLiteral("198.18.0.1"), held);
        return held;
    }
    // The text of the Error that `action` throws; empty when it throws none.
    template <typename Action> static QString ErrorText(Action action) {
        try {
            action();
        } catch (const Error& error) {
            return error.message();
        }
        return {};
    }

    QTemporaryDir dir_;
};

TEST_F(SettingsFileTest, MissingFileOrKeysGiveTheDefaults) {
    CallSettings held = Load();
    EXPECT_EQ(held.RingTone, QString());
    EXPECT_EQ(held.RingTime, 10000);
    EXPECT_EQ(held.Message, QStringLiteral("Unanswered"));
    EXPECT_EQ(held.CallerID, QStringLiteral("198.18.0.1"));

    WriteFile("[Settings]\nRingTone=/tmp/ring.wav\nRingTime=3\nCallerID=Ann\n");
    held = Load();
    EXPECT_EQ(held.RingTone, QStringLiteral("/tmp/ring.wav"));
    EXPECT_EQ(held.RingTime, 3000);
    EXPECT_EQ(held.Message, QStringLiteral("Unanswered"));
    EXPECT_EQ(held.CallerID, QStringLiteral("Ann"));
}

TEST_F(SettingsFileTest, NamesMatchInAnyCaseAndEmptyValuesStayEmpty) {
    WriteFile("[SETTINGS]\r\nringtone=\r\nRINGTIME=0\r\nmessage=\r\ncallerid=Ann\r\n");
    const CallSettings held = Load();
    EXPECT_EQ(held.RingTone, QString());
    EXPECT_EQ(held.RingTime, 0);
    EXPECT_EQ(held.Message, QString());
    EXPECT_EQ(held.CallerID, QStringLiteral("Ann"));
}

TEST_F(SettingsFileTest, RingTimeIsReadAsSecondsAndHeldInMilliseconds) {
    const std::pair<QByteArray, qint32> cases[] = {
        {" 7", 7000},
        {"+7", 7000},
        {"-5", -5000},
        {"$1E", 30000},
        {"0x1e", 30000},
        {"0", 0},
        {"2147483", 2147483000},
        {"2147484", -2147483296}, // wraps like 32-bit hardware
    };
    for (const auto& [text, milliseconds] : cases) {
        WriteFile("[Settings]\nRingTime=" + text + "\n");
        EXPECT_EQ(Load().RingTime, milliseconds) << text.constData();
    }
}

TEST_F(SettingsFileTest, BadRingTimeIsHeldAsTheDefaultAndTheRestIsRead) {
    for (const QByteArray& text : {QByteArray("7s"), QByteArray("2147483648"), QByteArray("")}) {
        WriteFile("[Settings]\nRingTone=new.wav\nRingTime=" + text + "\nMessage=m\nCallerID=c\n");
        CallSettings held{QStringLiteral("old.wav"), 1234, QStringLiteral("old"),
                          QStringLiteral("me")};
        EXPECT_EQ(ErrorText([&] { LoadSettings(dataDir(), QStringLiteral("ip"), held); }),
                  QStringLiteral("'%1' is not a valid integer value").arg(QString(text)));
        EXPECT_EQ(held.RingTone, QStringLiteral("new.wav"));
        EXPECT_EQ(held.RingTime, 10000);
        EXPECT_EQ(held.Message, QStringLiteral("m"));
        EXPECT_EQ(held.CallerID, QStringLiteral("c"));
    }
}

TEST_F(SettingsFileTest, LongValuesAreCutTo2047Characters) {
    WriteFile("[Settings]\nMessage=" + QByteArray(3000, 'm') + "\n");
    EXPECT_EQ(Load().Message, QString(2047, QLatin1Char('m')));
}

TEST_F(SettingsFileTest, FirstSaveCreatesTheFourLinesInOrder) {
    SaveSettings(dataDir(), QStringLiteral("/usr/share/sounds/ring.wav"), 30,
                 QStringLiteral("Not now"), QStringLiteral("Zoë"));
    EXPECT_EQ(ReadFile(), QByteArray("[Settings]\r\nRingTone=/usr/share/sounds/ring.wav\r\n"
                                     "RingTime=30\r\nMessage=Not now\r\nCallerID=Zo\xC3\xAB\r\n"));
    const CallSettings held = Load();
    EXPECT_EQ(held.RingTime, 30000);
    EXPECT_EQ(held.CallerID, QStringLiteral("Zoë"));
}

TEST_F(SettingsFileTest, SaveKeepsHandEditsInTheirPlaces) {
    WriteFile("; hand-written\n[Extra]\nColour=blue\n[settings]\nringtime=9\nMine=1\n\n[Tail]\n");
    SaveSettings(dataDir(), QString(), 5, QStringLiteral("busy"), QStringLiteral("Ann"));
    EXPECT_EQ(ReadFile(),
              QByteArray("; hand-written\n[Extra]\nColour=blue\n[settings]\nringtime=5\n"
                         "Mine=1\nRingTone=\nMessage=busy\nCallerID=Ann\n\n[Tail]\n"));
}

TEST_F(SettingsFileTest, RefusedWritesNameTheFile) {
    WriteFile("[Settings]\nRingTime=9\n");
    // No write bit at all counts as read-only, even for root.
    ASSERT_TRUE(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    EXPECT_EQ(ErrorText([&] { SaveSettings(dataDir(), QString(), 5, {}, {}); }),
              QStringLiteral("Unable to write to ") + path());
    EXPECT_EQ(ReadFile(), QByteArray("[Settings]\nRingTime=9\n"));

    // A directory that cannot exist: its parent is a regular file.
    const QString impossible = path() + QStringLiteral("/sub/");
    EXPECT_EQ(ErrorText([&] { SaveSettings(impossible, QString(), 5, {}, {}); }),
              QStringLiteral("Unable to write to ") + SettingsPath(impossible));
}

TEST_F(SettingsFileTest, RewriteKeepsTheFilesPermissions) {
    WriteFile("[Settings]\n");
    const auto privateMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    ASSERT_TRUE(QFile::setPermissions(path(), privateMode));
    WriteProfileString(path(), QStringLiteral("Settings"), QStringLiteral("K"),
                       QStringLiteral("v"));
    EXPECT_EQ(QFile::permissions(path()) & 0x7077, privateMode);
    EXPECT_EQ(ReadProfileString(path(), QStringLiteral("settings"), QStringLiteral("k"), {}),
              QStringLiteral("v"));
}

TEST_F(SettingsFileTest, OtherKindsOfFileReadAsMissingAndAreNeverWritten) {
    using namespace std::chrono_literals;
    for (const test::OtherFileKind& kind : test::kOtherFileKinds) {
        SCOPED_TRACE(kind.name);
        const QString sub = dataDir() + QLatin1String(kind.name).first(4) + QLatin1Char('/');
        ASSERT_TRUE(QDir().mkdir(sub));
        const QString file = SettingsPath(sub);
        ASSERT_TRUE(kind.make(file));

        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        test::Watchdog watchdog(10s, kind.name);
        CallSettings held;
        LoadSettings(sub, QStringLiteral("198.18.0.1"), held);
        EXPECT_EQ(held.RingTime, 10000);
        EXPECT_EQ(held.Message, QStringLiteral("Unanswered"));
        EXPECT_EQ(held.CallerID, QStringLiteral("198.18.0.1"));
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kilobytes";

        EXPECT_EQ(ErrorText([&] { SaveSettings(sub, QString(), 5, {}, {}); }),
                  QStringLiteral("Unable to write to ") + file);
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(file).constData(), &info), 0);
        EXPECT_TRUE(kind.is(info.st_mode));
    }
}

TEST_F(SettingsFileTest, AnOverLongFileReadsAsMissingAndIsNeverCut) {
    QByteArray text("[Settings]\nRingTime=3\nMessage=busy\n");
    text += "; " + QByteArray(kMaxProfileFileSize, '.') + "\n";
    WriteFile(text);
    const CallSettings held = Load();
    EXPECT_EQ(held.RingTime, 10000);
    EXPECT_EQ(held.Message, QStringLiteral("Unanswered"));
    EXPECT_EQ(ErrorText([&] { SaveSettings(dataDir(), QString(), 5, {}, {}); }),
              QStringLiteral("Unable to write to ") + path());
    EXPECT_TRUE(ReadFile() == text);

    // At the bound it is still read.
    text.truncate(kMaxProfileFileSize - 1);
    text += "\n";
    WriteFile(text);
    EXPECT_EQ(Load().RingTime, 3000);
}

TEST_F(SettingsFileTest, TheOwnersWriteBitDecidesAndTheModeIsKept) {
    WriteFile("[Settings]\nRingTime=9\n");
    // Writable for everyone but its owner: read-only all the same.
    ASSERT_TRUE(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                                  QFileDevice::WriteGroup | QFileDevice::ReadOther |
                                                  QFileDevice::WriteOther));
    EXPECT_EQ(ErrorText([&] { SaveSettings(dataDir(), QString(), 5, {}, {}); }),
              QStringLiteral("Unable to write to ") + path());
    EXPECT_EQ(ReadFile(), QByteArray("[Settings]\nRingTime=9\n"));

    for (const mode_t mode : {0600, 0640, 0664}) {
        ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), mode), 0);
        SaveSettings(dataDir(), QString(), 5, {}, {});
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode);
    }
    EXPECT_EQ(Load().RingTime, 5000);
}

TEST(StrToInt, AcceptsWhole32BitNumbersOnly) {
    const std::pair<const char*, std::optional<qint32>> cases[] = {
        {"42", 42},
        {"  -0", 0},
        {"-2147483648", INT_MIN},
        {"2147483647", INT_MAX},
        {"$FFFFFFFF", -1},
        {"0X80000000", INT_MIN},
        {"-$10", -16},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"+", std::nullopt},
        {"", std::nullopt},
        {"7 ", std::nullopt},
        {"- 7", std::nullopt},
        {"1e3", std::nullopt},
        {"$100000000", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(StrToInt(QString::fromUtf8(text)), expected) << text;
}

} // namespace
} // namespace vocalyn::call
