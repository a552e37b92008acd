#include "base/DataDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryFile>

namespace vocalyn {

namespace {

QString WithTrailingSlash(const QString& dir) {
    return dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

// Permission bits and access() say little when running as root, so try what the program will
// actually do: create a file there. The probe removes itself when it goes out of scope. A
// directory without its owner's write bit is read-only even to root, as for the files' writes.
bool CanCreateFilesIn(const QString& dir) {
    if (dir.isEmpty() || !(QFile::permissions(dir) & QFileDevice::WriteOwner))
        return false;
    QTemporaryFile probe(WithTrailingSlash(dir) + QStringLiteral(".vocalyn-probe-XXXXXX"));
    return probe.open();
}

// A program installed under /usr belongs to the whole system: even when root
// runs it, its files must not land beside the system's executables.
bool IsSystemInstall(const QString& dir) {
    const QString clean = QDir::cleanPath(dir);
    return clean == QStringLiteral("/usr") || clean.startsWith(QStringLiteral("/usr/"));
}

} // namespace

QString ChooseDataDir(const QString& executableDir, const QString& xdgConfigHome,
                      const QString& home) {
    if (!IsSystemInstall(executableDir) && CanCreateFilesIn(executableDir))
        return WithTrailingSlash(executableDir);

    const QString configHome = !xdgConfigHome.isEmpty() && QDir::isAbsolutePath(xdgConfigHome)
                                   ? xdgConfigHome
                                   : home + QStringLiteral("/.config");
    const QString dir = WithTrailingSlash(configHome) + QStringLiteral("vocalyn/");
    // A failure here is left for the first write, which reports the file it could not write.
    QDir().mkpath(dir);
    return dir;
}

QString DefaultDataDir() {
    return ChooseDataDir(QCoreApplication::applicationDirPath(),
                         qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath());
}

} // namespace vocalyn
