#pragma once

#include "app/ScreenSaverInhibitor.h"

#include <QStringList>

namespace vocalyn::fakes {

// Records what the call flow asks of the screen saver, as lines: "inhibit REASON", "release".
class RecordingScreenSaver : public ScreenSaverInhibitor {
public:
    void Inhibit(const QString& reason) override { calls << QStringLiteral("inhibit ") + reason; }
    void Release() override { calls << QStringLiteral("release"); }

    QStringList calls;
};

} // namespace vocalyn::fakes
