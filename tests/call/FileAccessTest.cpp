// The file access under both data files: reading only regular files, within a bound, without
// blocking; replacing a file in one step, never a read-only one, keeping its permission bits.

#include "base/AtomicFile.h"
#include "base/RegularFile.h"
#include "tests/support/Watchdog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vocalyn {
namespace {

using namespace std::chrono_literals;

class FileAccessTest : public ::testing::Test {
protected:
    QString path(const char* name = "data") const {
        return dir_.path() + QLatin1Char('/') + QLatin1String(name);
    }
    void WriteFile(const QByteArray& bytes, const char* name = "data") const {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    QByteArray ReadFile(const char* name = "data") const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    mode_t ModeOf(const char* name = "data") const {
        struct stat info {};
        EXPECT_EQ(::lstat(QFile::encodeName(path(name)).constData(), &info), 0);
        return info.st_mode;
    }
    void Chmod(mode_t mode, const char* name = "data") const {
        ASSERT_EQ(::chmod(QFile::encodeName(path(name)).constData(), mode), 0);
    }
    QStringList Listing() const {
        return QDir(dir_.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir_;
};

TEST_F(FileAccessTest, ReadsRegularFilesUpToTheBound) {
    EXPECT_EQ(ReadRegularFile(path(), 16).status, ReadStatus::Missing);

    WriteFile(QByteArray(16, 'x'));
    RegularFileContents read = ReadRegularFile(path(), 16);
    EXPECT_EQ(read.status, ReadStatus::Read);
    EXPECT_EQ(read.bytes, QByteArray(16, 'x'));

    WriteFile(QByteArray(17, 'x'));
    read = ReadRegularFile(path(), 16);
    EXPECT_EQ(read.status, ReadStatus::TooLarge);
    EXPECT_TRUE(read.bytes.isEmpty());

    WriteFile(QByteArray());
    read = ReadRegularFile(path(), 16);
    EXPECT_EQ(read.status, ReadStatus::Read);
    EXPECT_TRUE(read.bytes.isEmpty());

    // Through a link to a regular file, and a file the reader may not open.
    WriteFile("linked", "target");
    ASSERT_TRUE(QFile::link(path("target"), path("link")));
    EXPECT_EQ(ReadRegularFile(path("link"), 16).bytes, "linked");
    EXPECT_EQ(ReadRegularFile(path("target") + "/below", 16).status, ReadStatus::Failed);
}

TEST_F(FileAccessTest, NeverWaitsOnAFifoNorReadsADevice) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path("zero")));
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("dir")));

    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    {
        test::Watchdog watchdog(5s, "reading a FIFO and a device");
        for (const char* name : {"fifo", "zero", "dir"}) {
            const RegularFileContents read = ReadRegularFile(path(name), 1 << 30);
            EXPECT_EQ(read.status, ReadStatus::NotRegular) << name;
            EXPECT_TRUE(read.bytes.isEmpty()) << name;
        }
        EXPECT_EQ(ReadRegularFile(QStringLiteral("/dev/null"), 16).status, ReadStatus::NotRegular);
    }
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kilobytes";
}

TEST_F(FileAccessTest, ReplacesAFileKeepingItsPermissionBits) {
    EXPECT_TRUE(WriteFileAtomically(path(), "new"));
    EXPECT_EQ(ReadFile(), "new");
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(ModeOf() & 07777, 0666 & ~mask);

    for (const mode_t mode : {0600, 0640, 0604, 0755}) {
        Chmod(mode);
        EXPECT_TRUE(WriteFileAtomically(path(), "v" + QByteArray::number(mode, 8)));
        EXPECT_EQ(ReadFile(), "v" + QByteArray::number(mode, 8));
        EXPECT_EQ(ModeOf() & 07777, mode);
    }
    EXPECT_EQ(Listing(), QStringList{"data"});
}

TEST_F(FileAccessTest, RefusesReadOnlyFilesAndOtherKinds) {
    // Root could write these, so the owner's write bit alone decides.
    WriteFile("kept");
    for (const mode_t mode : {0444, 0400, 0000, 0577}) {
        Chmod(mode);
        EXPECT_FALSE(WriteFileAtomically(path(), "lost")) << std::oct << mode;
        EXPECT_EQ(ModeOf() & 07777, mode);
        Chmod(0600);
        EXPECT_EQ(ReadFile(), "kept");
    }

    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0666), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), path("null")));
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("dir")));
    ASSERT_TRUE(QFile::link(path("nowhere"), path("dangling")));
    {
        test::Watchdog watchdog(5s, "writing over a FIFO");
        for (const char* name : {"fifo", "null", "dir", "dangling"})
            EXPECT_FALSE(WriteFileAtomically(path(name), "x")) << name;
    }
    EXPECT_TRUE(S_ISFIFO(ModeOf("fifo")));
    EXPECT_TRUE(S_ISLNK(ModeOf("null")));
    EXPECT_TRUE(S_ISDIR(ModeOf("dir")));
    EXPECT_TRUE(S_ISLNK(ModeOf("dangling")));
    EXPECT_EQ(Listing(), (QStringList{"dangling", "data", "dir", "fifo", "null"}));
}

TEST_F(FileAccessTest, AReadOnlyDirectoryIsLeftAlone) {
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("dir")));
    WriteFile("kept", "dir/data");
    ASSERT_EQ(::chmod(QFile::encodeName(path("dir")).constData(), 0555), 0);
    EXPECT_FALSE(WriteFileAtomically(path("dir/data"), "lost"));
    EXPECT_FALSE(WriteFileAtomically(path("dir/new"), "lost"));
    EXPECT_EQ(ReadFile("dir/data"), "kept");
    EXPECT_EQ(QDir(path("dir")).entryList(QDir::Files | QDir::Hidden), QStringList{"data"});
    ASSERT_EQ(::chmod(QFile::encodeName(path("dir")).constData(), 0755), 0);
    EXPECT_TRUE(WriteFileAtomically(path("dir/new"), "made"));
}

TEST_F(FileAccessTest, ALinkStaysAndItsTargetIsReplaced) {
    WriteFile("old", "target");
    Chmod(0640, "target");
    ASSERT_TRUE(QFile::link(path("target"), path("link")));
    EXPECT_TRUE(WriteFileAtomically(path("link"), "new"));
    EXPECT_TRUE(S_ISLNK(ModeOf("link")));
    EXPECT_EQ(ReadFile("target"), "new");
    EXPECT_EQ(ModeOf("target") & 07777, 0640);
}

TEST_F(FileAccessTest, AsAnotherUserTheSystemsOwnChecksApply) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to take on another user";
    // A file of root's, world-readable, in a directory the other user may write: renaming over
    // it would succeed, so the write must be refused before that.
    WriteFile("root's");
    Chmod(0644);
    ASSERT_EQ(::chmod(QFile::encodeName(dir_.path()).constData(), 0777), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        ::_exit(WriteFileAtomically(path(), "nobody's") ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(), "root's");
}

} // namespace
} // namespace vocalyn
