#include "app/FadeOut.h"

#include <QElapsedTimer>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <thread>

namespace vocalyn {

namespace {

constexpr std::chrono::milliseconds kFrame(15);

bool WindowOpacityWorks() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace

void FadeOut(QWidget& window, int duration_ms, QWidget* content) {
    const bool byWindow = WindowOpacityWorks();
    QPointer<QGraphicsOpacityEffect> effect;
    if (!byWindow && content && window.testAttribute(Qt::WA_TranslucentBackground)) {
        effect = new QGraphicsOpacityEffect(content);
        content->setGraphicsEffect(effect);
    }
    if (window.isVisible() && duration_ms > 0 && (byWindow || effect)) {
        // No event loop runs here: a datagram, a timer or a click handled now would act on a
        // window that is already on its way out. Only the window itself is repainted.
        const double start = byWindow ? window.windowOpacity() : 1.0;
        QElapsedTimer clock;
        clock.start();
        for (qint64 elapsed = 0; elapsed < duration_ms; elapsed = clock.elapsed()) {
            const double left =
                start * std::max(1.0 - static_cast<double>(elapsed) / duration_ms, 0.0);
            if (byWindow)
                window.setWindowOpacity(left);
            else
                effect->setOpacity(left);
            window.repaint();
            std::this_thread::sleep_for(kFrame);
        }
    }
    window.hide();
    if (byWindow)
        window.setWindowOpacity(1.0);
    else if (content)
        content->setGraphicsEffect(nullptr); // deletes the effect
}

} // namespace vocalyn
