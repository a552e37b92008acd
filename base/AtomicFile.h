#pragma once

#include <QByteArray>
#include <QString>

namespace vocalyn {

// Replaces the file at `path` with `bytes` in one step: the bytes go to a
// temporary file beside it, which is renamed over the old one only when
// every byte has reached it. On failure the old file stays as it was.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace vocalyn
