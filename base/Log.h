#pragma once

#include <QLoggingCategory>
#include <QString>

namespace vocalyn {

// One logging category per layer, "vocalyn.<layer>". Warnings show by default; the rest is
// turned on with QT_LOGGING_RULES, for example QT_LOGGING_RULES="vocalyn.*.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcBase)
Q_DECLARE_LOGGING_CATEGORY(lcNet)
Q_DECLARE_LOGGING_CATEGORY(lcWidgets)
Q_DECLARE_LOGGING_CATEGORY(lcCall)
Q_DECLARE_LOGGING_CATEGORY(lcVideo)
Q_DECLARE_LOGGING_CATEGORY(lcVoice)
Q_DECLARE_LOGGING_CATEGORY(lcDirectory)
Q_DECLARE_LOGGING_CATEGORY(lcApp)

// The text of the exception being handled; call only inside a catch block.
QString CurrentExceptionText() noexcept;

// For a catch block that goes on without the error: logs what it swallowed and where, at info
// level (the program expects these and copes). Call only inside a catch block.
void LogSwallowed(const QLoggingCategory& category, const char* where) noexcept;

} // namespace vocalyn
