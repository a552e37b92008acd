#include "base/Log.h"

#include "base/Error.h"

namespace vocalyn {

Q_LOGGING_CATEGORY(lcBase, "vocalyn.base", QtWarningMsg)
Q_LOGGING_CATEGORY(lcNet, "vocalyn.net", QtWarningMsg)
Q_LOGGING_CATEGORY(lcWidgets, "vocalyn.widgets", QtWarningMsg)
Q_LOGGING_CATEGORY(lcCall, "vocalyn.call", QtWarningMsg)
Q_LOGGING_CATEGORY(lcVideo, "vocalyn.video", QtWarningMsg)
Q_LOGGING_CATEGORY(lcVoice, "vocalyn.voice", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDirectory, "vocalyn.directory", QtWarningMsg)
Q_LOGGING_CATEGORY(lcApp, "vocalyn.app", QtWarningMsg)

QString CurrentExceptionText() noexcept {
    try {
        try {
            throw;
        } catch (const Error& e) {
            return e.message();
        } catch (const std::exception& e) {
            return QString::fromLocal8Bit(e.what());
        } catch (...) {
            return QStringLiteral("Unknown error");
        }
    } catch (...) {
        return {}; // out of memory for the text itself
    }
}

void LogSwallowed(const QLoggingCategory& category, const char* where) noexcept {
    try {
        qCInfo(category).noquote() << where << "went on after:" << CurrentExceptionText();
    } catch (...) {
    }
}

} // namespace vocalyn
