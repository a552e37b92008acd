// A copy of the program for end-to-end tests: the real windows and network, with a recording
// media terminal and a silent ring-tone device, driven by commands on its standard input
// (PeerConsole.h). Run it on a test host: ip netns exec HOST vocalyn_peer DATA_DIR
#include "app/Application.h"
#include "app/Platform.h"
#include "app/Startup.h"
#include "app/TfrmMain.h"
#include "net/SystemResolver.h"
#include "tests/e2e/PeerConsole.h"
#include "tests/fakes/FakeCapture.h"
#include "tests/fakes/FakeMediaDevice.h"
#include "tests/fakes/FakeNeighbourhood.h"
#include "tests/fakes/RecordingMediaTerm.h"

#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
    vocalyn::Application app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vocalyn_peer DATA_DIR (holding Settings.ini)\n");
        return 2;
    }
    using namespace vocalyn;
    Platform platform;
    platform.resolver = std::make_unique<net::SystemResolver>();
    platform.sockets = std::make_unique<net::SocketLayer>(*platform.resolver);
    platform.mediaDevice = std::make_unique<fakes::FakeMediaDevice>();
    platform.captureService = std::make_unique<fakes::FakeCaptureService>();
    platform.neighbourhood = std::make_unique<fakes::FakeNeighbourhood>();
    auto terminal = std::make_shared<fakes::RecordingMediaTerm>();
    platform.terminalFactory = [terminal] { return terminal; };
    platform.dataDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + QLatin1Char('/');

    Windows windows = CreateWindows(platform);
    test::PeerConsole console(windows, *terminal);
    windows.frmMain->show();
    windows.frmMain->activateWindow();
    return QApplication::exec();
}
