#pragma once

#include <QString>

namespace vocalyn {

// The directory that holds "Settings.ini" and "IPAddress.dat", ending in "/" so that a file
// name is simply appended. That is the executable's directory when a file can be created
// there and it is not under /usr; otherwise, as for a system-wide install,
// $XDG_CONFIG_HOME/vocalyn/ (home +
// "/.config/vocalyn/" when xdgConfigHome is empty or relative), created when missing.
QString ChooseDataDir(const QString& executableDir, const QString& xdgConfigHome,
                      const QString& home);

// ChooseDataDir for this process: its executable's directory, its environment, its home.
QString DefaultDataDir();

} // namespace vocalyn
