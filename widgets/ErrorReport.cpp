#include "widgets/ErrorReport.h"

#include "base/AppInfo.h"
#include "base/Log.h"
#include "widgets/MessageBoxes.h"

#include <QApplication>

namespace vocalyn {

QString WithFullStop(const QString& text) {
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

void ShowErrorReport(const QString& text) {
    ShowErrorBox(QApplication::activeWindow(), QString::fromLatin1(kApplicationTitle),
                 WithFullStop(text));
}

void ReportCurrentException() {
    try {
        ShowErrorReport(CurrentExceptionText());
    } catch (...) {
        // Nothing may leave the report itself.
        LogSwallowed(lcWidgets(), "error report");
    }
}

} // namespace vocalyn
