#pragma once

namespace vocalyn {

class TfrmMain;

// What screen readers and keyboard users get from the main window: a name to speak for every
// control, the window's role, Mute's on state, Enter in the host field calling, F1 for help, the
// first focus on the host field and a Tab order that follows the window.
void SetUpAccess(TfrmMain& window);

} // namespace vocalyn
