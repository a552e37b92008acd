#pragma once

#include <QByteArray>
#include <QString>

namespace vocalyn {

enum class ReadStatus {
    Read = 1,   // the whole file is in `bytes`
    Missing,    // nothing at the path
    NotRegular, // a FIFO, a device, a directory or a socket: never read, it could block or be
                // endless
    TooLarge,   // longer than the bound; `bytes` is empty
    Failed,     // could not be opened, or a read failed; `bytes` holds what came before
};

struct RegularFileContents {
    ReadStatus status = ReadStatus::Failed;
    QByteArray bytes;
};

// Reads the file at `path`, following symbolic links, when it is a regular file of at most
// `maxBytes` bytes. The open never blocks, and the type is checked on the opened descriptor,
// so a file swapped in between cannot slip through.
RegularFileContents ReadRegularFile(const QString& path, qint64 maxBytes);

} // namespace vocalyn
