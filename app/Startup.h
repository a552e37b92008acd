#pragma once

#include <memory>

namespace vocalyn {

struct Platform;
class TfrmMain;
namespace call {
class TfrmCalling;
}
namespace directory {
class TfrmAddressList;
}
namespace voice {
class TfrmCCN;
}

// Every window of the program, created once, hidden, and kept until the end.
struct Windows {
    Windows();
    Windows(Windows&&) noexcept;
    ~Windows();

    // Members are destroyed in reverse order: the address book, created
    // last, goes first and saves its file while the main window still exists.
    std::unique_ptr<TfrmMain> frmMain;
    std::unique_ptr<call::TfrmCalling> frmCalling;
    std::unique_ptr<voice::TfrmCCN> frmCCN;
    std::unique_ptr<directory::TfrmAddressList> frmAddressList;
};

// Creates the windows in their fixed order: the first one becomes the main
// window, and each later one may rely on those before it.
Windows CreateWindows(Platform& platform);

// Start-up as the executable runs it: windows, then the main window shown and
// activated, then the message loop until the main window closes.
int RunProgram(Platform& platform);

} // namespace vocalyn
