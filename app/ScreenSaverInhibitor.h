#pragma once

#include <QString>

namespace vocalyn {

// Keeps the desktop from blanking the screen or locking the session while a call runs. Every
// operation returns at once and never fails: a desktop without the service simply blanks as
// it would.
class ScreenSaverInhibitor {
public:
    virtual ~ScreenSaverInhibitor() = default;

    // Asks the desktop to stay awake, saying why in `reason` (shown by some desktops). Does
    // nothing while already asked.
    virtual void Inhibit(const QString& reason) = 0;
    // Lets the desktop blank again; harmless when nothing is held.
    virtual void Release() = 0;
};

} // namespace vocalyn
