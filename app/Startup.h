#pragma once

#include <memory>

namespace vocalyn {

struct Platform;
class TfrmMain;

// Every window of the program, created once, hidden, and kept until the end.
struct Windows {
    Windows();
    Windows(Windows&&) noexcept;
    ~Windows();

    std::unique_ptr<TfrmMain> frmMain;
};

// Creates the windows in their fixed order: the first one becomes the main
// window, and each later one may rely on those before it.
Windows CreateWindows(Platform& platform);

// Start-up as the executable runs it: windows, then the main window shown and
// activated, then the message loop until the main window closes.
int RunProgram(Platform& platform);

} // namespace vocalyn
