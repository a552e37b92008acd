#include "call/ProfileFile.h"

#include "base/AtomicFile.h"

#include "base/Error.h"
#include "call/ProfileText.h"

#include <QFile>

namespace vocalyn::call {

namespace {

QString CutToMaxLength(QString value) {
    if (value.size() <= MaxProfileValueLength)
        return value;
    qsizetype length = MaxProfileValueLength;
    if (value.at(length - 1).isHighSurrogate())
        --length; // never leave half a character behind
    value.truncate(length);
    return value;
}

// Root may write anything, but a file without a single write bit was made read-only on purpose.
bool HasWriteBit(const QFile& file) {
    return file.permissions() &
           (QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther);
}

Error WriteRefused(const QString& path) {
    return Error(QStringLiteral("Unable to write to %1").arg(path));
}

} // namespace

QString ReadProfileString(const QString& path, const QString& section, const QString& key,
                          const QString& defaultValue) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return defaultValue;
    const std::optional<QByteArray> value =
        FindProfileValue(file.readAll(), section.toLocal8Bit(), key.toLocal8Bit());
    if (!value)
        return defaultValue;
    return CutToMaxLength(QString::fromLocal8Bit(*value));
}

void WriteProfileString(const QString& path, const QString& section, const QString& key,
                        const QString& value) {
    QByteArray text;
    QFile existing(path);
    if (existing.exists()) {
        if (!HasWriteBit(existing) || !existing.open(QIODevice::ReadOnly))
            throw WriteRefused(path);
        text = existing.readAll();
    }

    const std::optional<QByteArray> updated =
        SetProfileValue(text, section.toLocal8Bit(), key.toLocal8Bit(), value.toLocal8Bit());
    if (!updated)
        throw WriteRefused(path);

    // A crash or a full disk never leaves half a file.
    if (!WriteFileAtomically(path, *updated))
        throw WriteRefused(path);
}

} // namespace vocalyn::call
