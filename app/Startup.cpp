#include "app/Startup.h"

#include "app/Platform.h"
#include "app/TfrmMain.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

namespace vocalyn {

Windows::Windows() = default;
Windows::Windows(Windows&&) noexcept = default;
Windows::~Windows() = default;

Windows CreateWindows(Platform& platform) {
    Windows windows;
    // The order of creation, as one list:
    //  1. TfrmMain            the main window
    //  2. TfrmCalling         the calling-status dialog
    //  3. TfrmNetworkClients  the network browser
    //  4. TfrmExport          the "Searching For Network Clients..." window
    //  5. TfrmSettings        the settings dialog
    //  6. TfrmVideoOptions    the video options dialog
    //  7. TfrmCCN             the hidden host window of the media terminal
    //  8. TfrmAddressList     the address book, which loads its file last
    windows.frmMain = std::make_unique<TfrmMain>(platform);
    return windows;
}

int RunProgram(Platform& platform) {
    Windows windows = CreateWindows(platform);
    TfrmMain& main = *windows.frmMain;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = main.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        main.move(frame.topLeft());
    }
    main.show();
    main.activateWindow();
    main.raise();
    return QApplication::exec();
}

} // namespace vocalyn
