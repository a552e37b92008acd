#pragma once

class QWidget;

namespace vocalyn {

// Lets the window system move a borderless window with the mouse, as if its
// caption were dragged: the mouse capture is released first, so the system's
// own move loop can follow the pointer until the button is released.
void DragWindow(QWidget& window);

// Centres `window` over the window that owns it, or on the screen when it has
// no owner.
void CentreOverOwner(QWidget& window);

} // namespace vocalyn
