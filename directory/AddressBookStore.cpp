#include "directory/AddressBookStore.h"

#include "base/AtomicFile.h"
#include "base/Error.h"
#include "base/RegularFile.h"

#include <QFileInfo>

namespace vocalyn::directory {

LoadedAddressBook LoadAddressBook(const QString& path) {
    const RegularFileContents file = ReadRegularFile(path, kMaxAddressBookSize);
    LoadedAddressBook loaded;
    loaded.entries = ParseAddressBook(file.bytes);
    switch (file.status) {
    case ReadStatus::Read:
        loaded.outcome = LoadedAddressBook::Outcome::Read;
        break;
    case ReadStatus::Missing:
        loaded.outcome = LoadedAddressBook::Outcome::Missing;
        break;
    case ReadStatus::NotRegular:
    case ReadStatus::TooLarge:
    case ReadStatus::Failed:
        loaded.outcome = LoadedAddressBook::Outcome::Unread;
        break;
    }
    return loaded;
}

void SaveAddressBook(const QString& path, const AddressEntries& entries) {
    if (!WriteFileAtomically(path, SerialiseAddressBook(entries)))
        throw Error(
            QStringLiteral("Cannot create file %1").arg(QFileInfo(path).absoluteFilePath()));
}

} // namespace vocalyn::directory
