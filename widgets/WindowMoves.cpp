#include "widgets/WindowMoves.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace vocalyn {

void DragWindow(QWidget& window) {
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    if (QWindow* handle = window.window()->windowHandle())
        handle->startSystemMove();
}

void CentreOverOwner(QWidget& window) {
    QRect area;
    if (const QWidget* owner = window.parentWidget())
        area = owner->window()->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isEmpty())
        return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(area.center());
    window.move(frame.topLeft());
}

} // namespace vocalyn
