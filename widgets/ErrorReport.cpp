#include "widgets/ErrorReport.h"

#include "base/AppInfo.h"
#include "base/Error.h"

#include <QApplication>
#include <QMessageBox>

namespace vocalyn {

QString WithFullStop(const QString& text) {
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

void ShowErrorReport(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle),
                    WithFullStop(text), QMessageBox::Ok, QApplication::activeWindow());
    // Error texts can carry words from the network; never interpret them.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void ReportCurrentException() {
    QString text;
    try {
        throw;
    } catch (const Error& e) {
        text = e.message();
    } catch (const std::exception& e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
        text = QStringLiteral("Unknown error");
    }
    try {
        ShowErrorReport(text);
    } catch (...) {
        // Nothing may leave the report itself.
    }
}

} // namespace vocalyn
