#pragma once

#include "directory/AddressBookFile.h"

#include <QString>

// Reading and writing "IPAddress.dat" on disk.
namespace vocalyn::directory {

// Longest address book read, in bytes. A longer file is not read at all.
inline constexpr qint64 kMaxAddressBookSize = 16 * 1024 * 1024;

struct LoadedAddressBook {
    enum class Outcome {
        Read = 1, // the whole file
        Missing,  // nothing at the path
        Unread,   // not a regular file, too long, or unreadable: `entries` holds what was read
    };
    AddressEntries entries; // in list order
    Outcome outcome = Outcome::Unread;
};

// Reads the file at `path`, when it is a regular file of at most kMaxAddressBookSize bytes,
// without ever blocking. Never throws.
LoadedAddressBook LoadAddressBook(const QString& path);

// Replaces the file at `path` with `entries` through a temporary file in the same directory that
// is renamed over the old one, so a crash or a failed write leaves the old file whole. The file
// keeps its permission bits. Throws vocalyn::Error "Cannot create file <full path>" on any
// failure, and when the file is read-only (no write bit for its owner, even for root) or is not
// a regular file.
void SaveAddressBook(const QString& path, const AddressEntries& entries);

} // namespace vocalyn::directory
