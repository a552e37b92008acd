// A copy of the program for end-to-end tests: the real windows and network, with a recording
// media terminal and a silent ring-tone device, driven by commands on its standard input
// (PeerConsole.h). Run it on a test host: ip netns exec HOST vocalyn_peer DATA_DIR
// With --voice MICROPHONE the real media terminal carries the sound (VoiceCommands.h), without
// echo cancellation and noise suppression when --no-voice-processing follows.
// With VOCALYN_PEER_NOTIFY_BUS set to a D-Bus address, ringing calls are announced on that bus.
#include "app/Application.h"
#include "app/DBusCallNotifier.h"
#include "app/Platform.h"
#include "app/Startup.h"
#include "app/TfrmMain.h"
#include "net/SystemInterfaces.h"
#include "net/SystemResolver.h"
#include "tests/e2e/CallTiming.h"
#include "tests/e2e/PeerConsole.h"
#include "tests/e2e/PeerVideo.h"
#include "tests/e2e/TappedMediaTerm.h"
#include "tests/e2e/VoiceCommands.h"
#include "tests/fakes/FakeCapture.h"
#include "tests/fakes/FakeMediaDevice.h"
#include "tests/fakes/FakeNeighbourhood.h"
#include "tests/fakes/RecordingMediaTerm.h"

#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
    vocalyn::Application app(argc, argv);
    const bool realVoice = (argc == 4 || argc == 5) && QByteArray(argv[2]) == "--voice";
    const bool voiceProcessing = argc != 5 || QByteArray(argv[4]) != "--no-voice-processing";
    if (argc != 2 && !(realVoice && voiceProcessing == (argc == 4))) {
        std::fprintf(stderr, "usage: vocalyn_peer DATA_DIR (holding Settings.ini)"
                             " [--voice MICROPHONE (a gst-launch description)"
                             " [--no-voice-processing]]\n");
        return 2;
    }
    using namespace vocalyn;
    Platform platform;
    platform.resolver = std::make_unique<net::SystemResolver>();
    platform.sockets = std::make_unique<net::SocketLayer>(*platform.resolver);
    platform.interfaces = std::make_unique<net::SystemInterfaces>();
    platform.mediaDevice = std::make_unique<fakes::FakeMediaDevice>();
    auto camera = std::make_unique<fakes::FakeCaptureService>();
    fakes::FakeCaptureService& testCamera = *camera;
    platform.captureService = std::move(camera);
    platform.neighbourhood = std::make_unique<fakes::FakeNeighbourhood>();
    auto terminal = std::make_shared<fakes::RecordingMediaTerm>();
    platform.terminalFactory = [terminal] { return terminal; };
    // With --voice the real GStreamer terminal carries the sound, from the given test source to
    // a sink that the voice commands listen to.
    std::shared_ptr<test::TappedMediaTerm> voiceTerminal;
    if (realVoice) {
        voice::GstMediaTermOptions options;
        options.microphone = QString::fromLocal8Bit(argv[3]);
        options.speaker = QStringLiteral("fakesink name=ear sync=true");
        options.voiceProcessing = voiceProcessing;
        voiceTerminal = std::make_shared<test::TappedMediaTerm>(options);
        platform.terminalFactory = [voiceTerminal] { return voiceTerminal; };
    }
    // Never the session bus: a test run must not show notifications on the developer's desktop.
    const QString notifyBus = qEnvironmentVariable("VOCALYN_PEER_NOTIFY_BUS");
    if (!notifyBus.isEmpty())
        platform.callNotifier = std::make_unique<DBusCallNotifier>(notifyBus);
    platform.dataDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + QLatin1Char('/');

    Windows windows = CreateWindows(platform);
    test::PeerConsole console(windows, voiceTerminal ? voiceTerminal->recorder() : *terminal);
    if (voiceTerminal)
        test::AddVoiceCommands(console, *voiceTerminal);
    // Before the video side: the event filter installed last sees a paint first, and the video
    // side's glass-to-glass timing paints the picture itself.
    test::CallTiming timing(*windows.frmMain);
    timing.AddCommands(console);
    // Before the window is shown, so that it counts every video datagram.
    test::PeerVideo video(*windows.frmMain, testCamera);
    video.AddCommands(console);
    windows.frmMain->show();
    windows.frmMain->activateWindow();
    return QApplication::exec();
}
