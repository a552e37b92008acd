#include "base/RegularFile.h"

#include "base/UniqueFd.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vocalyn {

RegularFileContents ReadRegularFile(const QString& path, qint64 maxBytes) {
    RegularFileContents contents;
    // O_NONBLOCK: opening a FIFO without a writer would otherwise wait for one.
    const UniqueFd fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) {
        contents.status = errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
        return contents;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        contents.status = ReadStatus::Failed;
        return contents;
    }
    if (!S_ISREG(info.st_mode)) {
        contents.status = ReadStatus::NotRegular;
        return contents;
    }
    if (info.st_size > maxBytes) {
        contents.status = ReadStatus::TooLarge;
        return contents;
    }

    // The size is only a hint: the file may grow while it is read, so the bound is checked on
    // what arrives, one byte past it telling that there is more.
    QByteArray& bytes = contents.bytes;
    bytes.resize(static_cast<qsizetype>(info.st_size) + 1);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > maxBytes)
                break;
            bytes.resize(std::min<qsizetype>(bytes.size() * 2 + 4096, maxBytes + 1));
        }
        const ssize_t got = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            bytes.truncate(filled);
            contents.status = ReadStatus::Failed;
            return contents;
        }
        if (got == 0)
            break;
        filled += got;
    }
    if (filled > maxBytes) {
        contents.bytes.clear();
        contents.status = ReadStatus::TooLarge;
        return contents;
    }
    bytes.truncate(filled);
    contents.status = ReadStatus::Read;
    return contents;
}

} // namespace vocalyn
