#pragma once

#include <memory>

namespace vocalyn {

struct Platform;
class TfrmMain;
namespace call {
class TfrmCalling;
class TfrmSettings;
} // namespace call
namespace directory {
class TfrmAddressList;
class TfrmExport;
class TfrmNetworkClients;
} // namespace directory
namespace video {
class TfrmVideoOptions;
} // namespace video
namespace voice {
class TfrmCCN;
} // namespace voice

// Every window of the program, created once, hidden, and kept until the end.
struct Windows {
    Windows();
    Windows(Windows&&) noexcept;
    ~Windows();

    // Members are declared in the order of creation and destroyed in reverse:
    // the address book, created last, goes first and saves its file while the
    // main window still exists.
    std::unique_ptr<TfrmMain> frmMain;
    std::unique_ptr<call::TfrmCalling> frmCalling;
    std::unique_ptr<directory::TfrmNetworkClients> frmNetworkClients;
    std::unique_ptr<directory::TfrmExport> frmExport;
    std::unique_ptr<call::TfrmSettings> frmSettings;
    std::unique_ptr<video::TfrmVideoOptions> frmVideoOptions;
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
