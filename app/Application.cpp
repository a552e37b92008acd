#include "app/Application.h"

#include "base/AppInfo.h"
#include "widgets/ErrorReport.h"
#include "widgets/Fonts.h"

namespace vocalyn {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("vocalyn"));
    setOrganizationName(QStringLiteral("vocalyn"));
    setDesktopFileName(QStringLiteral("vocalyn"));
    InstallFontSubstitutions();
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportCurrentException();
        return false;
    }
}

} // namespace vocalyn
