#include "app/FadeOut.h"

#include <QEventLoop>
#include <QPropertyAnimation>
#include <QWidget>

namespace vocalyn {

void FadeOut(QWidget& window, int duration_ms) {
    if (window.isVisible()) {
        QPropertyAnimation fade(&window, "windowOpacity");
        fade.setDuration(duration_ms);
        fade.setStartValue(window.windowOpacity());
        fade.setEndValue(0.0);
        QEventLoop loop;
        QObject::connect(&fade, &QAbstractAnimation::finished, &loop, &QEventLoop::quit);
        fade.start();
        loop.exec();
    }
    window.hide();
    window.setWindowOpacity(1.0);
}

} // namespace vocalyn
