#include "call/ProfileFile.h"

#include "base/AtomicFile.h"
#include "base/Error.h"
#include "base/RegularFile.h"
#include "call/ProfileText.h"

namespace vocalyn::call {

namespace {

QString CutToMaxLength(QString value) {
    if (value.size() <= kMaxProfileValueLength)
        return value;
    qsizetype length = kMaxProfileValueLength;
    if (value.at(length - 1).isHighSurrogate())
        --length; // never leave half a character behind
    value.truncate(length);
    return value;
}

Error WriteRefused(const QString& path) {
    return Error(QStringLiteral("Unable to write to %1").arg(path));
}

} // namespace

QString ReadProfileString(const QString& path, const QString& section, const QString& key,
                          const QString& defaultValue) {
    // A file that cannot be read in full reads as a missing one.
    const RegularFileContents file = ReadRegularFile(path, kMaxProfileFileSize);
    if (file.status != ReadStatus::Read)
        return defaultValue;
    const std::optional<QByteArray> value =
        FindProfileValue(file.bytes, section.toLocal8Bit(), key.toLocal8Bit());
    if (!value)
        return defaultValue;
    return CutToMaxLength(QString::fromLocal8Bit(*value));
}

void WriteProfileString(const QString& path, const QString& section, const QString& key,
                        const QString& value) {
    // Only a file read in full may be rewritten, or the keys beyond what was read would be lost.
    const RegularFileContents existing = ReadRegularFile(path, kMaxProfileFileSize);
    if (existing.status != ReadStatus::Read && existing.status != ReadStatus::Missing)
        throw WriteRefused(path);
    const QByteArray& text = existing.bytes;

    const std::optional<QByteArray> updated =
        SetProfileValue(text, section.toLocal8Bit(), key.toLocal8Bit(), value.toLocal8Bit());
    if (!updated)
        throw WriteRefused(path);

    // A crash or a full disk never leaves half a file; a read-only file is refused.
    if (!WriteFileAtomically(path, *updated))
        throw WriteRefused(path);
}

} // namespace vocalyn::call
