// The capture connection on a scripted camera: starting and stopping, the
// driver search, the parameters, status texts, error boxes and frames.
#include "tests/support/ModalWatcher.h"
#include "tests/video/CaptureTestSupport.h"
#include "video/capture/PreviewWidget.h"
#include "video/capture/v4l2/V4l2CaptureService.h"

#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vocalyn;
using vocalyn::test::CaptureFixture;
using vocalyn::test::ModalWatcher;

namespace {

const QStringList kWindowSetUp = {
    "CreateCaptureWindow Brelle Soft 0,0 176x144 0",
    "SetCallbackStatus none",
    "SetCallbackStatus handler",
    "SetCallbackVideoStream handler",
    "SetCallbackFrame handler",
};
const QStringList kPreviewStart = {"SetScale 1", "SetPreviewRate 33", "SetOverlay 0",
                                   "SetPreview 1"};

QStringList Connects(const QStringList& requests) {
    return requests.filter(QStringLiteral("DriverConnect"));
}

} // namespace

TEST_F(CaptureFixture, ADriverAtIndexZeroIsConnectedSetUpAndPreviewed) {
    video::VideoCap& cap = MakeVideoCap();
    VideoStarted = cap.StartVideo();

    QStringList expected = kWindowSetUp;
    expected << "DriverConnect 0"
             << "GetSequenceSetup 92"
             << "SetSequenceSetup 92" << kPreviewStart << "SetVideoFormat 40 384x288x24 0";
    EXPECT_EQ(camera.requests.mid(0, expected.size()), expected);
    EXPECT_TRUE(VideoStarted);

    // The capture window lies over the whole panel and shows the camera.
    ASSERT_NE(camera.window(), nullptr);
    video::PreviewWidget* preview = camera.window()->preview();
    EXPECT_EQ(preview->parentWidget(), panel);
    EXPECT_EQ(preview->geometry(), QRect(0, 0, 176, 144));
    EXPECT_TRUE(preview->stretch());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !preview->frame().isNull(); }, 5000));
}

TEST_F(CaptureFixture, EightParameterFieldsChangeAndTheRestStayAsTheDriverReadThem) {
    VideoStarted = MakeVideoCap().StartVideo();
    ASSERT_TRUE(camera.writtenParms.has_value());
    video::CAPTUREPARMS expected = camera.driverParms;
    expected.dwRequestMicroSecPerFrame = 66667;
    expected.fLimitEnabled = 0;
    expected.fCaptureAudio = 1;
    expected.fMCIControl = 0;
    expected.fYield = 1;
    expected.vKeyAbort = 27;
    expected.fAbortLeftMouse = 0;
    expected.fAbortRightMouse = 0;
    EXPECT_EQ(std::memcmp(&*camera.writtenParms, &expected, sizeof expected), 0);
}

TEST_F(CaptureFixture, AFailedConnectEndsTheSearchAtThatIndex) {
    camera.drivers = {1};
    ModalWatcher watcher;
    VideoStarted = MakeVideoCap().StartVideo();

    EXPECT_EQ(Connects(camera.requests), QStringList{"DriverConnect 0"});
    EXPECT_TRUE(watcher.box().seen);
    EXPECT_EQ(watcher.box().title, "Error");
    EXPECT_EQ(watcher.box().text, video::VideoCap::kWebCamNotFound);
    EXPECT_EQ(watcher.box().icon, QMessageBox::Critical);
    EXPECT_FALSE(VideoStarted);
    // The capture window stays.
    EXPECT_NE(camera.window(), nullptr);
    // The status line says why there is no picture instead of keeping its design text.
    EXPECT_EQ(statusLabel->text(), "No camera");
}

TEST_F(CaptureFixture, ParametersThatCannotBeReadAlsoEndTheSearch) {
    camera.drivers = {0, 1};
    camera.unreadableParameters = {0};
    VideoStarted = MakeVideoCap().StartVideo();
    EXPECT_EQ(Connects(camera.requests), QStringList{"DriverConnect 0"});
    EXPECT_FALSE(camera.writtenParms.has_value());
    EXPECT_TRUE(VideoStarted); // the driver is connected all the same
}

TEST_F(CaptureFixture, RefusedParametersMoveTheSearchOnUpToIndexNine) {
    for (int index = 0; index < 12; ++index) {
        camera.drivers.insert(index);
        camera.refusedParameters.insert(index);
    }
    VideoStarted = MakeVideoCap().StartVideo();

    QStringList tried;
    for (int index = 0; index <= 9; ++index)
        tried << QStringLiteral("DriverConnect %1").arg(index);
    EXPECT_EQ(Connects(camera.requests), tried);
    // The window counts as made, so the preview starts on the last driver.
    const qsizetype last = camera.requests.lastIndexOf("DriverConnect 9");
    EXPECT_EQ(camera.requests.mid(last + 3, kPreviewStart.size()), kPreviewStart);
    EXPECT_TRUE(VideoStarted);
}

TEST_F(CaptureFixture, WithoutACaptureWindowTheListenerStillOpensAndStopSendsNothing) {
    // No host panel: nothing is asked of the camera at all.
    video::VideoCap& cap = MakeVideoCap(nullptr);
    ModalWatcher watcher;
    VideoStarted = cap.StartVideo();
    EXPECT_TRUE(camera.requests.isEmpty());
    EXPECT_TRUE(VideoStarted);
    cap.StopVideo();
    EXPECT_TRUE(camera.requests.isEmpty());
    EXPECT_FALSE(watcher.box().seen);
}

TEST_F(CaptureFixture, AWindowTheServiceRefusesOrWithoutStatusHandlerIsClosedQuietly) {
    camera.refuseStatusHandler = true;
    ModalWatcher watcher;
    VideoStarted = MakeVideoCap().StartVideo();
    EXPECT_EQ(camera.requests, (QStringList{"CreateCaptureWindow Brelle Soft 0,0 176x144 0",
                                            "SetCallbackStatus none", "SetCallbackStatus handler",
                                            "SetCallbackStatus none", "SetCallbackFrame none",
                                            "DriverDisconnect", "DestroyWindow"}));
    EXPECT_EQ(videoCap->captureWindow(), nullptr);
    EXPECT_TRUE(VideoStarted);
    EXPECT_FALSE(watcher.box().seen);
}

TEST_F(CaptureFixture, StopAfterAFailedStartStillAbortsAndCloses) {
    camera.noFormat = true;
    ModalWatcher watcher;
    video::VideoCap& cap = MakeVideoCap();
    VideoStarted = cap.StartVideo();
    ASSERT_TRUE(watcher.box().seen);
    ASSERT_FALSE(VideoStarted);

    camera.requests.clear();
    cap.StopVideo();
    EXPECT_EQ(camera.requests,
              (QStringList{"Abort", "SetCallbackStatus none", "SetCallbackFrame none",
                           "DriverDisconnect", "DestroyWindow"}));
    EXPECT_EQ(cap.captureWindow(), nullptr);
    EXPECT_EQ(panel->findChildren<video::PreviewWidget*>().size(), 0);
}

TEST_F(CaptureFixture, EachStatusTextReplacesTheCaptionAndShowsAtOnce) {
    VideoStarted = MakeVideoCap().StartVideo();
    EXPECT_EQ(statusLabel->text(), "Connected to Fake camera 0");
    const int shown = statusShown;
    camera.window()->SendStatus(0, "Capturing");
    EXPECT_EQ(statusLabel->text(), "Capturing");
    camera.window()->SendStatus(7, "");
    EXPECT_EQ(statusLabel->text(), "");
    camera.window()->SendStatus(1, "Stream: 640 x 480 YUY2");
    EXPECT_EQ(statusLabel->text(), "Stream: 640 x 480 YUY2");
    EXPECT_EQ(statusShown, shown + 3);
}

TEST_F(CaptureFixture, OnAComputerWithoutCameraTheV4l2WindowHasNoDriver) {
    video::v4l2::V4l2CaptureService service(QStringLiteral("/nonexistent/video%1"));
    ModalWatcher watcher;
    video::VideoCap cap(service, {panel, [](const QString&) {}});
    VideoStarted = cap.StartVideo();
    EXPECT_EQ(watcher.box().text, video::VideoCap::kWebCamNotFound);
    ASSERT_NE(cap.captureWindow(), nullptr);
    EXPECT_EQ(cap.captureWindow()->GetVideoFormatSize(), 0u);
    // It never runs a streamed capture: a handler for one is refused, not kept for nothing.
    EXPECT_FALSE(
        cap.captureWindow()->SetCallbackVideoStream([](const video::CameraFrame&) { return 1; }));
    EXPECT_TRUE(cap.captureWindow()->SetCallbackVideoStream({}));
    EXPECT_FALSE(cap.HasSourceDialog());
    EXPECT_FALSE(cap.HasFormatDialog());
    cap.StopVideo();
    EXPECT_EQ(cap.captureWindow(), nullptr);
}
