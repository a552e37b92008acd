#include "app/Startup.h"

#include "app/Platform.h"
#include "app/TfrmMain.h"
#include "call/TfrmCalling.h"
#include "call/TfrmSettings.h"
#include "directory/TfrmAddressList.h"
#include "directory/TfrmExport.h"
#include "directory/TfrmNetworkClients.h"
#include "video/capture/TfrmVideoOptions.h"
#include "voice/TCCNMediaTerm.h"
#include "voice/TfrmCCN.h"
#include "widgets/ErrorReport.h"
#include "widgets/FlatButton.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QPushButton>
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
    TfrmMain& main = *windows.frmMain;
    windows.frmCalling = std::make_unique<call::TfrmCalling>(&main);
    main.SetCallingDialog(*windows.frmCalling);
    windows.frmNetworkClients =
        std::make_unique<directory::TfrmNetworkClients>(*platform.neighbourhood, &main);
    // Without a parent the searching window is centred on the screen.
    windows.frmExport = std::make_unique<directory::TfrmExport>();
    windows.frmNetworkClients->frmExport = windows.frmExport.get();
    windows.frmSettings =
        std::make_unique<call::TfrmSettings>(platform.dataDir, main.Settings, &main);
    main.frmSettings = windows.frmSettings.get();
    windows.frmVideoOptions = std::make_unique<video::TfrmVideoOptions>(*main.videoCap, &main);
    windows.frmCCN = std::make_unique<voice::TfrmCCN>(platform.terminalFactory);
    main.frmCCN = windows.frmCCN.get();
    // What keeps a call silent (no microphone, the voice port taken) goes to the
    // main window's status line, where the user looks, not to a console.
    QObject::connect(windows.frmCCN->ccn, &voice::TCCNMediaTerm::statusChanged, &main,
                     [&main](const QString& text) { main.SetCallStatus(text); });
    windows.frmAddressList =
        std::make_unique<directory::TfrmAddressList>(platform.dataDir, *main.edtHostName, &main);

    // The buttons that open the other windows.
    directory::TfrmNetworkClients& browser = *windows.frmNetworkClients;
    browser.frmAddressList = windows.frmAddressList.get();
    windows.frmAddressList->OnWhoClick = [&browser] { browser.exec(); };
    video::TfrmVideoOptions& videoOptions = *windows.frmVideoOptions;
    windows.frmSettings->OnVideoOptions = [&videoOptions] { videoOptions.exec(); };
    directory::TfrmAddressList& addressList = *windows.frmAddressList;
    // Answering from the desktop's announcement is pressing the call button at that moment.
    if (platform.callNotifier)
        platform.callNotifier->OnAnswer = Guarded([main = QPointer<TfrmMain>(&main)] {
            if (main)
                main->btnCall->click();
        });
    QObject::connect(main.btnHostName, &QAbstractButton::clicked, &main,
                     Guarded([&addressList] { addressList.exec(); }));
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
