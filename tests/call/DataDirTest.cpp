#include "base/DataDir.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vocalyn {
namespace {

class DataDirTest : public ::testing::Test {
protected:
    QString at(const QString& name) const { return root_.filePath(name); }

    // A path that cannot be a directory for anyone, root included: its parent is a regular file.
    QString UnwritableDir() const {
        QFile blocker(at(QStringLiteral("blocker")));
        EXPECT_TRUE(blocker.open(QIODevice::WriteOnly));
        return blocker.fileName() + QStringLiteral("/bin");
    }

    QTemporaryDir root_;
};

TEST_F(DataDirTest, WritableExecutableDirectoryIsUsedAndLeftClean) {
    const QString exeDir = at(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(exeDir));
    EXPECT_EQ(ChooseDataDir(exeDir, at(QStringLiteral("xdg")), at(QStringLiteral("home"))),
              exeDir + QStringLiteral("/"));
    EXPECT_TRUE(QDir(exeDir).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_FALSE(QFile::exists(at(QStringLiteral("xdg"))));
}

TEST_F(DataDirTest, UnwritableExecutableDirectoryFallsBackToTheConfigDirectory) {
    const QString exeDir = UnwritableDir();
    const QString xdg = at(QStringLiteral("xdg"));
    EXPECT_EQ(ChooseDataDir(exeDir, xdg, at(QStringLiteral("home"))),
              xdg + QStringLiteral("/vocalyn/"));
    EXPECT_TRUE(QDir(xdg + QStringLiteral("/vocalyn")).exists());

    // A directory made read-only counts as one, also for root.
    const QString readOnly = at(QStringLiteral("readonly"));
    ASSERT_TRUE(QDir().mkpath(readOnly));
    ASSERT_TRUE(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                    QFileDevice::ReadGroup |
                                                    QFileDevice::ExeGroup));
    EXPECT_EQ(ChooseDataDir(readOnly, xdg, at(QStringLiteral("home"))),
              xdg + QStringLiteral("/vocalyn/"));

    // Unset or relative XDG_CONFIG_HOME: ~/.config.
    const QString home = at(QStringLiteral("home"));
    for (const QString& unusable : {QString(), QStringLiteral("relative/config")}) {
        EXPECT_EQ(ChooseDataDir(exeDir, unusable, home),
                  home + QStringLiteral("/.config/vocalyn/"));
        EXPECT_TRUE(QDir(home + QStringLiteral("/.config/vocalyn")).exists());
    }
}

TEST_F(DataDirTest, SystemInstallUsesTheConfigDirectoryEvenWhenWritable) {
    // /usr/bin is writable for root; the files must still go to the user's configuration.
    const QString xdg = at(QStringLiteral("xdg"));
    for (const QString& exeDir : {QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin/")})
        EXPECT_EQ(ChooseDataDir(exeDir, xdg, at(QStringLiteral("home"))),
                  xdg + QStringLiteral("/vocalyn/"));
    // Only the /usr tree counts, not a name that merely starts with it.
    const QString lookalike = at(QStringLiteral("usrbin"));
    ASSERT_TRUE(QDir().mkpath(lookalike));
    EXPECT_EQ(ChooseDataDir(lookalike, xdg, at(QStringLiteral("home"))),
              lookalike + QStringLiteral("/"));
}

} // namespace
} // namespace vocalyn
