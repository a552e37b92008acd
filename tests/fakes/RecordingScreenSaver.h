#pragma once

#include "app/ScreenSaverInhibitor.h"

#include <QStringList>

namespace vocalyn::fakes {

// Records what the call asks of the screen saver: "inhibit REASON" and "release", and whether
// the desktop is held awake now.
class RecordingScreenSaver : public ScreenSaverInhibitor {
public:
    void Inhibit(const QString& reason) override {
        if (!held)
            calls << QStringLiteral("inhibit ") + reason;
        held = true;
    }
    void Release() override {
        if (held)
            calls << QStringLiteral("release");
        held = false;
    }

    QStringList calls;
    bool held = false;
};

} // namespace vocalyn::fakes
