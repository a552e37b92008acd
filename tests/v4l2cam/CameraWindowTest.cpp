// The main window on the real V4L2 capture service with an emulated USB camera: what a user of
// the program sees from the camera, after libv4l2, the converters, JPEG and back.
#include "tests/app/MainWindowFixture.h"
#include "tests/support/ModalWatcher.h"
#include "tests/v4l2cam/CameraControl.h"
#include "tests/v4l2cam/PatternCheck.h"
#include "tests/video/PictureSupport.h"

#include "video/capture/PreviewWidget.h"
#include "video/capture/TfrmVideoOptions.h"
#include "video/capture/v4l2/FormatDialog.h"
#include "video/capture/v4l2/SourceDialog.h"
#include "video/capture/v4l2/V4l2CaptureService.h"
#include "video/capture/v4l2/V4l2CaptureWindow.h"
#include "video/conversion/FormatCodes.h"
#include "video/conversion/FrameBuffer.h"
#include "video/conversion/YUVConverters.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>

#include <arpa/inet.h>
#include <linux/videodev2.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <optional>

namespace vocalyn::test {
namespace {

namespace camera = vocalyn::test::camera;

constexpr const char* kVideo0 = "/dev/video0";
constexpr const char* kVideo1 = "/dev/video1";

// Runs an action on the next modal dialog of a type once it is up.
template <typename Dialog> class DialogDriver {
public:
    explicit DialogDriver(std::function<void(Dialog&)> action) : action_(std::move(action)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            timer_.stop();
            ran = true;
            action_(*dialog);
        });
        timer_.start();
    }
    bool ran = false;

private:
    QTimer timer_;
    std::function<void(Dialog&)> action_;
};

class CameraWindowTest : public MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        platform.captureService = std::make_unique<video::v4l2::V4l2CaptureService>();
        camera = nullptr;
    }

    void TearDown() override {
        window.reset();
        qunsetenv("V4L2CAM_NODES");
    }

    // Starts the program with these nodes; counts the frames reaching the frame handler.
    TfrmMain& Start(std::initializer_list<std::pair<const char*, const char*>> nodes) {
        camera::UseNodes(nodes);
        TfrmMain& w = CreateWindow();
        w.videoCap->OnPreviewFrame =
            [this, handler = w.videoCap->OnPreviewFrame](const video::CameraFrame& frame) {
                ++framesHandled;
                handler(frame);
            };
        return ShowWindow();
    }

    std::string Status() const { return window->lblVideoArea->text().toStdString(); }

    // The window sends its frames to its own listener, so they come back into the big picture.
    void SendToSelf() {
        window->UDPClient1.Host = QStringLiteral("127.0.0.1");
        window->SendingVideo = true;
    }

    // The big picture once it shows a received frame of this size.
    QImage ReceivedPicture(int width, int height) {
        const qint64 before = window->Image1->pixmap().cacheKey();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                const QPixmap pixmap = window->Image1->pixmap();
                return pixmap.cacheKey() != before && pixmap.width() == width &&
                       pixmap.height() == height;
            },
            3000))
            << "no " << width << " x " << height << " picture";
        return window->Image1->pixmap().toImage();
    }

    int framesHandled = 0;
};

TEST_F(CameraWindowTest, ATypicalCameraIsFoundAtIndexZeroAndPreviewsAtItsRate) {
    // A USB camera: the picture node first, its metadata node next.
    Start({{kVideo0, "typical"}, {kVideo1, "metadata"}});
    EXPECT_EQ(camera::Opens(kVideo0), 1);
    EXPECT_EQ(camera::Opens(kVideo1), 0);
    // The program asks for 384 x 288 RGB; the camera gives its nearest size in its own YUYV,
    // which the program converts itself.
    EXPECT_EQ(Status(), "HD Webcam C270: 352 x 288 YUYV");
    const camera::DeviceFormat device = camera::Format(kVideo0);
    EXPECT_EQ(device.fourcc, V4L2_PIX_FMT_YUYV);
    EXPECT_EQ(device.width, 352u);
    EXPECT_EQ(device.height, 288u);
    const QByteArray& driverFormat = window->videoCap->frames().DriverFormat();
    const std::optional<video::BITMAPINFOHEADER> format = video::ReadFormatHeader(
        std::as_bytes(std::span(driverFormat.constData(), std::size_t(driverFormat.size()))));
    ASSERT_TRUE(format);
    EXPECT_EQ(format->biWidth, 352);
    EXPECT_EQ(format->biHeight, 288);
    EXPECT_EQ(format->biBitCount, 16);
    EXPECT_EQ(video::ClassifyFormat(format->biCompression), video::kClassYUY2);

    // The camera runs at 30 frames per second, the preview at one frame per 33 ms: every frame
    // goes, also when a busy main thread reads one late now and then (the frame after it then
    // comes soon after, but was taken on time).
    int busy_ms = 0;
    window->videoCap->OnPreviewFrame =
        [&, handler = window->videoCap->OnPreviewFrame](const video::CameraFrame& frame) {
            handler(frame);
            if (framesHandled % 5 == 0)
                QThread::msleep(static_cast<unsigned long>(busy_ms));
        };
    for (const int busy : {0, 45}) {
        busy_ms = busy;
        ASSERT_TRUE(QTest::qWaitFor([&] { return framesHandled > 3; }, 2000));
        const int first = framesHandled;
        QElapsedTimer clock;
        clock.start();
        QTest::qWait(2000);
        const double rate = (framesHandled - first) * 1000.0 / double(clock.elapsed());
        EXPECT_NEAR(rate, 30.0, 3.0) << "busy " << busy << " ms every fifth frame";
    }
}

// The capture window itself, for the status texts that the main window's label replaces at once.
TEST(CameraCaptureWindowTest, StatusTextsNameTheCameraItsNodeAndItsFormat) {
    camera::UseNodes({{kVideo0, "typical"}});
    QWidget host;
    video::v4l2::V4l2CaptureService service;
    std::unique_ptr<video::CaptureWindow> window =
        service.CreateCaptureWindow(QStringLiteral("Brelle Soft"), &host, {0, 0, 176, 144}, 0);
    ASSERT_TRUE(window);
    QStringList texts;
    window->SetCallbackStatus([&](int, const char* text) {
        texts << QString::fromLocal8Bit(text);
        return 1;
    });
    int frames = 0;
    window->SetCallbackFrame([&](const video::CameraFrame&) { return ++frames; });
    ASSERT_TRUE(window->DriverConnect(0));
    window->SetPreviewRate(33);
    ASSERT_TRUE(window->SetPreview(true));
    EXPECT_TRUE(QTest::qWaitFor([&] { return frames > 0; }, 1000));
    EXPECT_EQ(texts, (QStringList{"Connected to HD Webcam C270 (/dev/video0)",
                                  "HD Webcam C270: 640 x 480 YUYV"}));
    window.reset();
    qunsetenv("V4L2CAM_NODES");
}

TEST_F(CameraWindowTest, ThePictureArrivesUprightAndUnmirroredFromEveryKindOfCamera) {
    // YUYV converted by the program, MJPEG decoded by libv4l2, and YUYV with padded rows.
    const struct {
        const char* profile;
        int width, height;
        const char* status;
    } cameras[] = {
        {"typical", 352, 288, "HD Webcam C270: 352 x 288 YUYV"},
        {"mjpeg-only", 320, 240, "USB2.0 MJPEG Camera: 320 x 240 BGR3"},
        {"padded", 352, 288, "Padded Rows Camera: 352 x 288 YUYV"},
    };
    for (const auto& each : cameras) {
        SCOPED_TRACE(each.profile);
        Start({{kVideo0, each.profile}});
        EXPECT_EQ(Status(), each.status);
        SendToSelf();
        ExpectUpright(ReceivedPicture(each.width, each.height), each.profile);
        // The own picture in the small panel, as painted.
        auto* preview = window->findChild<video::PreviewWidget*>(QStringLiteral("CaptureWindow"));
        ASSERT_NE(preview, nullptr);
        ExpectUpright(preview->grab().toImage(), "preview");
        window.reset();
    }
}

TEST_F(CameraWindowTest, TheFormatDialogListsTheCameraAndEachChoiceChangesTheStream) {
    TfrmMain& w = Start({{kVideo0, "typical"}});
    video::TfrmVideoOptions options(*w.videoCap, &w);
    options.show();
    ASSERT_TRUE(options.btnFormat->isEnabled());

    QStringList formats;
    QStringList yuyvSizes;
    QStringList mjpegSizes;
    DialogDriver<video::v4l2::FormatDialog> driver([&](video::v4l2::FormatDialog& dialog) {
        QComboBox* box = dialog.formatBox();
        for (int i = 0; i < box->count(); ++i)
            formats << box->itemText(i);
        box->setCurrentIndex(box->findData(V4L2_PIX_FMT_MJPEG));
        for (int i = 0; i < dialog.sizeBox()->count(); ++i)
            mjpegSizes << dialog.sizeBox()->itemText(i);
        box->setCurrentIndex(box->findData(V4L2_PIX_FMT_YUYV));
        for (int i = 0; i < dialog.sizeBox()->count(); ++i)
            yuyvSizes << dialog.sizeBox()->itemText(i);
        dialog.sizeBox()->setCurrentIndex(dialog.sizeBox()->findData(QSize(640, 480)));
        dialog.accept();
    });
    options.btnFormat->click();
    ASSERT_TRUE(driver.ran);

    // The camera's own formats, and what libv4l2 makes of them.
    EXPECT_TRUE(formats.contains(QStringLiteral("YUYV 4:2:2 (YUYV)")))
        << formats.join('|').toStdString();
    EXPECT_TRUE(formats.contains(QStringLiteral("Motion-JPEG (MJPG)")));
    EXPECT_TRUE(formats.filter(QStringLiteral("(BGR3), converted")).size() == 1);
    EXPECT_EQ(yuyvSizes, (QStringList{"160 x 120", "320 x 240", "352 x 288", "640 x 480"}));
    EXPECT_EQ(mjpegSizes,
              (QStringList{"160 x 120", "320 x 240", "352 x 288", "640 x 480", "1280 x 720"}));

    const camera::DeviceFormat device = camera::Format(kVideo0);
    EXPECT_EQ(device.fourcc, V4L2_PIX_FMT_YUYV);
    EXPECT_EQ(device.width, 640u);
    EXPECT_EQ(device.height, 480u);
    EXPECT_EQ(Status(), "HD Webcam C270: 640 x 480 YUYV");
    // Now the program's own YUY2 converter makes the picture.
    SendToSelf();
    ExpectUpright(ReceivedPicture(640, 480), "YUYV 640 x 480");

    // Chosen in the dialog, libv4l2's RGB is what streams: it converts the camera's YUYV.
    DialogDriver<video::v4l2::FormatDialog> rgb([&](video::v4l2::FormatDialog& dialog) {
        QComboBox* box = dialog.formatBox();
        box->setCurrentIndex(box->findData(V4L2_PIX_FMT_BGR24));
        dialog.sizeBox()->setCurrentIndex(dialog.sizeBox()->findData(QSize(320, 240)));
        dialog.accept();
    });
    options.btnFormat->click();
    ASSERT_TRUE(rgb.ran);
    EXPECT_EQ(camera::Format(kVideo0).fourcc, V4L2_PIX_FMT_YUYV);
    EXPECT_EQ(Status(), "HD Webcam C270: 320 x 240 BGR3");
    ExpectUpright(ReceivedPicture(320, 240), "BGR3 from YUYV 320 x 240");
}

TEST_F(CameraWindowTest, TheSourceDialogListsTheControlsAndChangesReachTheCamera) {
    TfrmMain& w = Start({{kVideo0, "typical"}});
    ASSERT_TRUE(w.videoCap->HasSourceDialog());
    QStringList names;
    bool exposureLockedAtFirst = false;
    bool exposureFreeInManual = false;
    std::optional<int> brightnessWhileOpen;
    std::optional<int> exposureWhileOpen;
    DialogDriver<video::v4l2::SourceDialog> driver([&](video::v4l2::SourceDialog& dialog) {
        for (const video::v4l2::Control& control : dialog.controls())
            names << control.name;
        QWidget* exposure = dialog.editor(V4L2_CID_EXPOSURE_ABSOLUTE);
        exposureLockedAtFirst = exposure && !exposure->isEnabled();
        dialog.editor(V4L2_CID_BRIGHTNESS)->findChild<QSpinBox*>()->setValue(160);
        brightnessWhileOpen = camera::Control(kVideo0, V4L2_CID_BRIGHTNESS);
        auto* mode = qobject_cast<QComboBox*>(dialog.editor(V4L2_CID_EXPOSURE_AUTO));
        const int manual = mode->findText(QStringLiteral("Manual Mode"));
        mode->setCurrentIndex(manual);
        emit mode->activated(manual);
        exposureFreeInManual = exposure && exposure->isEnabled();
        if (exposure)
            exposure->findChild<QSpinBox*>()->setValue(500);
        exposureWhileOpen = camera::Control(kVideo0, V4L2_CID_EXPOSURE_ABSOLUTE);
        dialog.reject(); // Cancel puts every value back
    });
    w.videoCap->ShowSourceDialog();
    ASSERT_TRUE(driver.ran);

    EXPECT_EQ(names,
              (QStringList{"Brightness", "Contrast", "Saturation", "White Balance, Automatic",
                           "Power Line Frequency", "Auto Exposure", "Exposure Time, Absolute"}));
    EXPECT_TRUE(exposureLockedAtFirst);
    EXPECT_TRUE(exposureFreeInManual);
    EXPECT_EQ(brightnessWhileOpen, 160);
    EXPECT_EQ(exposureWhileOpen, 500);
    EXPECT_EQ(camera::Control(kVideo0, V4L2_CID_BRIGHTNESS), 128);
    EXPECT_EQ(camera::Control(kVideo0, V4L2_CID_EXPOSURE_ABSOLUTE), 250);
    EXPECT_EQ(camera::Control(kVideo0, V4L2_CID_EXPOSURE_AUTO), 3);
}

TEST_F(CameraWindowTest, ACameraWithoutFramesSaysNoPictureUntilTheyCome) {
    // Five seconds without a frame: before the first, or in a stall after a few.
    for (const char* profile : {"slow", "stalling"}) {
        SCOPED_TRACE(profile);
        window.reset();
        framesHandled = 0;
        Start({{kVideo0, profile}});
        const bool slow = profile == std::string("slow");
        const std::string camera = slow ? "Slow Camera" : "Stalling Camera";
        EXPECT_EQ(Status(), camera + ": 352 x 288 YUYV");
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Status() == camera + ": no picture"; }, 6000));
        const int before = framesHandled;
        EXPECT_EQ(before > 0, !slow);
        EXPECT_GE(clock.elapsed(), before > 0 ? 5400 : 4900) << "said while frames came";
        ASSERT_TRUE(QTest::qWaitFor([&] { return framesHandled > before; }, 2000));
        // Once pictures come, the status says what they are again.
        EXPECT_EQ(Status(), camera + ": 352 x 288 YUYV");
    }
}

TEST_F(CameraWindowTest, SpoiltFramesAreLeftOutAndThePreviewGoesOn) {
    Start({{kVideo0, "flaky"}});
    SendToSelf();
    ASSERT_TRUE(QTest::qWaitFor([&] { return framesHandled > 3; }, 2000));
    const int first = framesHandled;
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(1500);
    // Four frames of five are whole.
    EXPECT_NEAR((framesHandled - first) * 1000.0 / double(clock.elapsed()), 24.0, 3.0);
    EXPECT_EQ(Status(), "Flaky Camera: 352 x 288 YUYV");
    ExpectUpright(ReceivedPicture(352, 288), "after spoilt frames");
}

// Counts the paintings of a widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

TEST_F(CameraWindowTest, AnUnseenPreviewIsNeitherMadeNorPaintedWhileFramesGoOn) {
    TfrmMain& w = Start({{kVideo0, "typical"}});
    auto* preview = w.findChild<video::PreviewWidget*>(QStringLiteral("CaptureWindow"));
    ASSERT_NE(preview, nullptr);
    PaintCounter counter(*preview);
    const struct {
        const char* name;
        std::function<void()> leave;
    } states[] = {
        {"minimised", [&] { w.showMinimized(); }},
        {"hidden", [&] { w.hide(); }},
    };
    for (const auto& each : states) {
        SCOPED_TRACE(each.name);
        const qint64 shown = preview->frame().cacheKey();
        ASSERT_TRUE(QTest::qWaitFor([&] { return preview->frame().cacheKey() != shown; }, 2000));
        each.leave();
        QApplication::processEvents(); // a painting already asked for may still come
        const qint64 kept = preview->frame().cacheKey();
        const int paints = counter.paints;
        const int handled = framesHandled;
        // The frame handler goes on at the camera's rate: a call would still send them.
        ASSERT_TRUE(QTest::qWaitFor([&] { return framesHandled >= handled + 6; }, 2000));
        EXPECT_EQ(preview->frame().cacheKey(), kept);
        EXPECT_EQ(counter.paints, paints);
        w.showNormal();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return preview->frame().cacheKey() != kept && counter.paints > paints; }, 1000));
    }
}

TEST_F(CameraWindowTest, AnUnpluggedCameraSaysSoAndTheProgramRunsOn) {
    TfrmMain& w = Start({{kVideo0, "unplugged"}});
    SendToSelf();
    ASSERT_TRUE(QTest::qWaitFor([&] { return framesHandled > 5; }, 2000));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Status() == "Loose Camera: camera disconnected"; }, 3000));
    const int handled = framesHandled;
    QTest::qWait(300);
    EXPECT_EQ(framesHandled, handled);
    // The driver's dialogs are gone with the camera; asking for them does no harm.
    EXPECT_FALSE(w.videoCap->HasSourceDialog());
    EXPECT_FALSE(w.videoCap->HasFormatDialog());
    w.videoCap->ShowSourceDialog();
    w.videoCap->ShowFormatDialog();
    // The node has gone; a new search finds nothing, and the window stays usable.
    EXPECT_FALSE(w.videoCap->captureWindow()->DriverConnect(0));
    EXPECT_EQ(w.videoCap->captureWindow()->GetVideoFormatSize(), 0u);
    EXPECT_TRUE(w.isVisible());

    // The peer's pictures still reach the big picture.
    const QByteArray jpeg = EncodeFile(NoisyPicture(160, 120, 4));
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<quint16>(platform.videoPort));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd, jpeg.constData(), std::size_t(jpeg.size()), 0,
             reinterpret_cast<const sockaddr*>(&to), sizeof to);
    ::close(fd);
    EXPECT_EQ(ReceivedPicture(160, 120).size(), QSize(160, 120));
}

TEST_F(CameraWindowTest, ACameraThatCouldNotStreamComesBackWithoutARestart) {
    using Window = video::v4l2::V4l2CaptureWindow;
    std::optional<camera::OtherProgram> other;
    using Action = std::function<void(TfrmMain&)>;
    const Action nothing = [](TfrmMain&) {};
    const Action letGo = [&](TfrmMain&) { other.reset(); };
    const Action unplug = [&](TfrmMain&) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return framesHandled > 3; }, 2000));
        camera::Unplug(kVideo0);
    };
    const Action plugBack = [&](TfrmMain&) {
        // Tried again once after the first wait, not over and over.
        const int opens = camera::Opens(kVideo0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return camera::Opens(kVideo0) > opens; },
                                    Window::kRetryFirst_ms + 1000));
        EXPECT_EQ(camera::Opens(kVideo0), opens + 1);
        EXPECT_TRUE(camera::Plug(kVideo0));
    };
    const Action plugIn = [](TfrmMain&) { camera::UseNodes({{kVideo0, "typical"}}); };
    const auto choose = [](QSize size) {
        return [size](TfrmMain& w) {
            DialogDriver<video::v4l2::FormatDialog> driver([&](video::v4l2::FormatDialog& d) {
                d.formatBox()->setCurrentIndex(d.formatBox()->findData(V4L2_PIX_FMT_YUYV));
                d.sizeBox()->setCurrentIndex(d.sizeBox()->findData(size));
                d.accept();
            });
            w.videoCap->ShowFormatDialog();
            EXPECT_TRUE(driver.ran);
        };
    };
    const std::string typical = "HD Webcam C270: 352 x 288 YUYV";
    const struct {
        const char* what;
        bool held;           // by another program from before the start
        const char* profile; // none: no camera at the start
        Action spoil;
        std::string failed;
        Action mend;
        int within_ms; // 0: at once
        std::string back;
        QSize picture;
    } cases[] = {
        {"held by another program", true, "typical", nothing,
         "HD Webcam C270 is in use by another program", letGo, Window::kRetryMost_ms + 1000,
         typical, QSize(352, 288)},
        {"unplugged and plugged back", false, "typical", unplug,
         "HD Webcam C270: camera disconnected", plugBack, Window::kRetryFirst_ms * 2 + 1000,
         typical, QSize(352, 288)},
        {"held, by a driver that lets one program open it", true, "exclusive", nothing,
         "/dev/video0 is in use by another program", letGo, Window::kRetryMost_ms + 1000,
         "Single Open Camera: 352 x 288 YUYV", QSize(352, 288)},
        {"plugged in after the start", false, nullptr, nothing, "No camera", plugIn,
         Window::kRetryFirst_ms + 1000, typical, QSize(352, 288)},
        {"a format too big for its port", false, "shared-port", choose({640, 480}),
         "Shared Port Camera: cannot stream 640 x 480 YUYV", choose({320, 240}), 0,
         "Shared Port Camera: 320 x 240 YUYV", QSize(320, 240)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ModalWatcher watcher; // closes the box of a missing camera
        if (c.held) {
            camera::UseNodes({{kVideo0, c.profile}});
            other.emplace(kVideo0);
            ASSERT_TRUE(other->holds());
        }
        TfrmMain& w = c.profile ? Start({{kVideo0, c.profile}}) : Start({});
        c.spoil(w);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Status() == c.failed; }, 3000)) << Status();
        c.mend(w);
        if (c.within_ms == 0)
            EXPECT_EQ(Status(), c.back);
        else
            EXPECT_TRUE(QTest::qWaitFor([&] { return Status() == c.back; }, c.within_ms))
                << Status();
        // The frame buffer follows the camera's new stream.
        SendToSelf();
        ExpectUpright(ReceivedPicture(c.picture.width(), c.picture.height()), c.what);
        window.reset();
    }
}

TEST_F(CameraWindowTest, UnpluggingWhileADriverDialogIsOpenHarmsNothing) {
    TfrmMain& w = Start({{kVideo0, "unplugged"}});
    bool sawTheLoss = false;
    DialogDriver<video::v4l2::SourceDialog> source([&](video::v4l2::SourceDialog& dialog) {
        // The preview goes on inside the dialog until the cable comes out.
        sawTheLoss =
            QTest::qWaitFor([&] { return Status() == "Loose Camera: camera disconnected"; }, 3000);
        dialog.editor(V4L2_CID_BRIGHTNESS)->findChild<QSpinBox*>()->setValue(200);
        dialog.reject(); // puts back what it can, on a device that is gone
    });
    w.videoCap->ShowSourceDialog();
    EXPECT_TRUE(source.ran);
    EXPECT_TRUE(sawTheLoss);
    EXPECT_FALSE(w.videoCap->HasSourceDialog());
    EXPECT_EQ(Status(), "Loose Camera: camera disconnected");

    // The same with the format dialog, whose choice must not go to a camera that has gone.
    window.reset();
    TfrmMain& again = Start({{kVideo0, "unplugged"}});
    bool lostInFormatDialog = false;
    DialogDriver<video::v4l2::FormatDialog> format([&](video::v4l2::FormatDialog& dialog) {
        lostInFormatDialog =
            QTest::qWaitFor([&] { return Status() == "Loose Camera: camera disconnected"; }, 3000);
        dialog.accept();
    });
    again.videoCap->ShowFormatDialog();
    EXPECT_TRUE(format.ran);
    EXPECT_TRUE(lostInFormatDialog);
    EXPECT_EQ(Status(), "Loose Camera: camera disconnected");
    EXPECT_FALSE(again.videoCap->HasFormatDialog());
}

TEST_F(CameraWindowTest, AMetadataNodeOrARefusedNodeFirstEndsTheDriverSearch) {
    for (const char* first : {"metadata", "refused"}) {
        SCOPED_TRACE(first);
        ModalWatcher watcher;
        Start({{kVideo0, first}, {kVideo1, "typical"}});
        ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.box().seen; }, 3000));
        EXPECT_EQ(watcher.box().text, video::VideoCap::kWebCamNotFound);
        EXPECT_EQ(camera::Opens(kVideo0), 1);
        EXPECT_EQ(camera::Opens(kVideo1), 0);
        EXPECT_FALSE(window->VideoStarted);
        window.reset();
    }
}

} // namespace
} // namespace vocalyn::test
