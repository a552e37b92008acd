#pragma once

#include <QByteArray>
#include <QString>

namespace vocalyn {

// Replaces the file at `path` with `bytes` in one step: the bytes go to a temporary file beside
// it, which is renamed over the old one only when every byte has reached the disk. On failure
// the old file stays as it was.
//
// An existing file is replaced only when it is a regular file that its owner may write: a file
// without the owner's write bit counts as read-only even for root, who could write it anyway,
// and so does a directory without it.
// The new file keeps the old one's permission bits, and its owner and group where the process
// may set them (the group's bits are dropped when the group cannot be kept). A symbolic link
// stays: the file it points to is replaced. A new file gets the umask's usual mode.
// Returns false on every failure and refusal.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace vocalyn
