#include "base/AtomicFile.h"

#include "base/UniqueFd.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vocalyn {

namespace {

struct Target {
    QByteArray path; // with symbolic links resolved
    bool exists = false;
    struct stat info {};
};

// Root passes every permission check, so only the bits tell what the owner wants kept as it is.
bool OwnerMayWrite(const struct stat& info) {
    return info.st_mode & S_IWUSR;
}

bool DirectoryOwnerMayWrite(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray dir = slash < 0    ? QByteArray(".")
                           : slash == 0 ? QByteArray("/")
                                        : path.first(slash);
    struct stat info {};
    return ::stat(dir.constData(), &info) == 0 && OwnerMayWrite(info);
}

// Where the bytes go, or nullopt when the file at `path` must not be replaced.
std::optional<Target> FindTarget(const QByteArray& path) {
    Target target;
    if (::stat(path.constData(), &target.info) != 0) {
        struct stat link {};
        // A dangling link: creating its target somewhere unknown, or replacing the link by a
        // file, would both surprise whoever made it.
        if (errno != ENOENT || ::lstat(path.constData(), &link) == 0 ||
            !DirectoryOwnerMayWrite(path))
            return std::nullopt;
        target.path = path;
        return target;
    }
    if (!S_ISREG(target.info.st_mode))
        return std::nullopt;
    // Renaming over a file needs no right to write it, only the directory, so the file's own
    // permission is checked here.
    if (!OwnerMayWrite(target.info) ||
        ::faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) != 0)
        return std::nullopt;
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.constData(), nullptr),
                                                           &std::free);
    if (!real)
        return std::nullopt;
    target.path = real.get();
    if (!DirectoryOwnerMayWrite(target.path))
        return std::nullopt;
    target.exists = true;
    return target;
}

// A new file beside `target`, named so that a listing shows whose it is.
std::pair<UniqueFd, QByteArray> CreateTemporary(const QByteArray& target, mode_t mode) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name =
            target + ".tmp-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        UniqueFd fd(::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (fd.valid())
            return {std::move(fd), name};
        if (errno != EEXIST)
            break;
    }
    return {};
}

// Gives the new file the old one's owner, group and permission bits, as far as allowed.
bool CopyAccess(int fd, const struct stat& old) {
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        return false;
    mode_t mode = old.st_mode & 0777;
    if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) {
        // Only root may give a file away; a member may pass it to one of its groups.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0)
            (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        if (::fstat(fd, &now) != 0)
            return false;
        if (now.st_gid != old.st_gid)
            mode &= ~S_IRWXG; // those bits were meant for another group
    }
    return ::fchmod(fd, mode) == 0;
}

bool WriteAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.constData() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += wrote;
    }
    return true;
}

} // namespace

bool WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    const std::optional<Target> target = FindTarget(QFile::encodeName(path));
    if (!target)
        return false;

    // A new file gets 0666 less the umask, as any file the user creates; a replacement starts
    // private and gets the old bits before it holds any byte.
    auto [fd, temporary] = CreateTemporary(target->path, target->exists ? 0600 : 0666);
    if (!fd.valid())
        return false;
    bool ok = (!target->exists || CopyAccess(fd.get(), target->info)) &&
              WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    ok = ::close(fd.release()) == 0 && ok;
    if (ok && ::rename(temporary.constData(), target->path.constData()) == 0)
        return true;
    ::unlink(temporary.constData());
    return false;
}

} // namespace vocalyn
