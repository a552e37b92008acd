#pragma once

#include <QString>
#include <QStringList>

// Reading and writing "IPAddress.dat" on disk.
namespace vocalyn::directory {

struct LoadedAddressBook {
    QStringList entries; // in list order; as far as the file could be read
    bool complete = false;
};

// Reads the file at `path`. Never throws: a missing or unreadable file gives what could be read
// and complete == false.
LoadedAddressBook LoadAddressBook(const QString& path);

// Replaces the file at `path` with `entries` through a temporary file in the same directory that
// is renamed over the old one, so a crash or a failed write leaves the old file whole. Throws
// vocalyn::Error "Cannot create file <full path>" on any failure.
void SaveAddressBook(const QString& path, const QStringList& entries);

} // namespace vocalyn::directory
