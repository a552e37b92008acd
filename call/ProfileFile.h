#pragma once

#include <QString>

// Reading and writing single values of an INI profile file (see ProfileText.h for the format).
namespace vocalyn::call {

// Longest value ReadProfileString returns, in characters.
inline constexpr qsizetype kMaxProfileValueLength = 2047;

// Longest profile file read, in bytes. A longer one reads as missing and is never rewritten.
inline constexpr qint64 kMaxProfileFileSize = 1024 * 1024;

// The value of `key` in `section` of the file at `path`, cut to kMaxProfileValueLength
// characters; `defaultValue` when the file, the section or the key is missing. A file that is
// not a regular one (a FIFO, a device, a directory), is longer than kMaxProfileFileSize or cannot
// be read counts as missing. A key present with an empty value reads as empty.
QString ReadProfileString(const QString& path, const QString& section, const QString& key,
                          const QString& defaultValue);

// Sets `key` of `section` in the file at `path`, creating the file when missing, and replaces the
// file atomically, keeping its permission bits. Throws vocalyn::Error("Unable to write to <path>")
// when the write is refused: the file cannot be read in full, is not a regular file, or lacks
// its owner's write bit, which counts even for root.
void WriteProfileString(const QString& path, const QString& section, const QString& key,
                        const QString& value);

} // namespace vocalyn::call
