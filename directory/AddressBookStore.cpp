#include "directory/AddressBookStore.h"

#include "base/AtomicFile.h"
#include "base/Error.h"
#include "directory/AddressBookFile.h"

#include <QFile>
#include <QFileInfo>

namespace vocalyn::directory {

LoadedAddressBook LoadAddressBook(const QString& path) {
    LoadedAddressBook loaded;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return loaded;
    const QByteArray bytes = file.readAll();
    loaded.entries = ParseAddressBook(bytes);
    loaded.complete = file.error() == QFileDevice::NoError;
    return loaded;
}

void SaveAddressBook(const QString& path, const QStringList& entries) {
    if (!WriteFileAtomically(path, SerialiseAddressBook(entries)))
        throw Error(
            QStringLiteral("Cannot create file %1").arg(QFileInfo(path).absoluteFilePath()));
}

} // namespace vocalyn::directory
