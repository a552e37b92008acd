#include "app/FadeOut.h"

#include <QElapsedTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <thread>

namespace vocalyn {

namespace {

constexpr std::chrono::milliseconds kFrame(15);

} // namespace

void FadeOut(QWidget& window, int duration_ms) {
    if (window.isVisible() && duration_ms > 0) {
        // No event loop runs here: a datagram, a timer or a click handled now would act on a
        // window that is already on its way out. Only the window itself is repainted.
        const double start = window.windowOpacity();
        QElapsedTimer clock;
        clock.start();
        for (qint64 elapsed = 0; elapsed < duration_ms; elapsed = clock.elapsed()) {
            const double left = 1.0 - static_cast<double>(elapsed) / duration_ms;
            window.setWindowOpacity(start * std::max(left, 0.0));
            window.repaint();
            std::this_thread::sleep_for(kFrame);
        }
    }
    window.hide();
    window.setWindowOpacity(1.0);
}

} // namespace vocalyn
