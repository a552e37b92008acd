#include "base/AtomicFile.h"

#include <QSaveFile>

namespace vocalyn {

bool WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    // commit() misses a short write in its own final flush (a full disk, a
    // size limit) and would rename the cut file over the old one, so flush
    // first and check. Without commit() the temporary file is discarded.
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
           file.commit();
}

} // namespace vocalyn
