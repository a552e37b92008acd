#pragma once

#include <QString>

// Reading and writing single values of an INI profile file (see ProfileText.h for the format).
namespace vocalyn::call {

// Longest value ReadProfileString returns, in characters.
inline constexpr qsizetype MaxProfileValueLength = 2047;

// The value of `key` in `section` of the file at `path`, cut to MaxProfileValueLength
// characters; `defaultValue` when the file, the section or the key is missing. A key present
// with an empty value reads as empty.
QString ReadProfileString(const QString& path, const QString& section, const QString& key,
                          const QString& defaultValue);

// Sets `key` of `section` in the file at `path`, creating the file when missing, and replaces the
// file atomically. Throws vocalyn::Error("Unable to write to <path>") when the write is refused,
// also when the file has no write permission bit at all, which counts even for root.
void WriteProfileString(const QString& path, const QString& section, const QString& key,
                        const QString& value);

} // namespace vocalyn::call
