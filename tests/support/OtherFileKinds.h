#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include <functional>
#include <sys/stat.h>

namespace vocalyn::test {

// Things that can stand where a data file is expected and must never be read as one: a FIFO
// blocks an open, a link to /dev/zero never ends, a directory has no bytes.
struct OtherFileKind {
    const char* name;
    std::function<bool(const QString&)> make; // makes one at the path
    bool (*is)(mode_t);                       // recognises it in lstat's mode
};

inline const OtherFileKind kOtherFileKinds[] = {
    {"FIFO", [](const QString& at) { return ::mkfifo(QFile::encodeName(at), 0644) == 0; },
     [](mode_t mode) { return S_ISFIFO(mode); }},
    {"link to /dev/zero", [](const QString& at) { return QFile::link("/dev/zero", at); },
     [](mode_t mode) { return S_ISLNK(mode); }},
    {"directory", [](const QString& at) { return QDir().mkdir(at); },
     [](mode_t mode) { return S_ISDIR(mode); }},
};

} // namespace vocalyn::test
