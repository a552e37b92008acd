// The video options dialog on a scripted camera: its layout, the driver
// buttons at each showing, and the frame buffer after the format dialog.
#include "base/AppInfo.h"
#include "tests/support/ModalWatcher.h"
#include "tests/video/CaptureTestSupport.h"
#include "video/capture/TfrmVideoOptions.h"
#include "video/conversion/FrameBuffer.h"
#include "video/conversion/YUVConverters.h"
#include "widgets/SilverPanel.h"

#include <QGroupBox>
#include <QPushButton>
#include <QTest>

using namespace vocalyn;
using vocalyn::test::CaptureFixture;
using vocalyn::test::ModalWatcher;

namespace {

class VideoOptions : public CaptureFixture {
protected:
    video::TfrmVideoOptions& Dialog() {
        if (!dialog)
            dialog = std::make_unique<video::TfrmVideoOptions>(*videoCap, &window);
        return *dialog;
    }
    // Shows the dialog as the settings dialog does, without blocking the test.
    video::TfrmVideoOptions& ShowDialog() {
        Dialog().open();
        return *dialog;
    }

    std::unique_ptr<video::TfrmVideoOptions> dialog;
};

} // namespace

TEST_F(VideoOptions, ControlsStandAtTheirPlacesWithDriverButtonsDisabled) {
    MakeVideoCap().StartVideo();
    video::TfrmVideoOptions& d = Dialog();
    EXPECT_EQ(d.size(), QSize(298, 180));
    EXPECT_TRUE(d.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(d.windowTitle(), "Video Display Options");
    EXPECT_EQ(d.XiPanel1->geometry(), QRect(0, 0, 298, 180));
    EXPECT_EQ(d.GroupBox1->geometry(), QRect(16, 16, 265, 105));
    EXPECT_EQ(d.GroupBox1->title(), " General Video Settings ");
    EXPECT_TRUE(d.GroupBox1->font().bold());
    EXPECT_EQ(d.btnSource->geometry(), QRect(20, 37, 93, 36));
    EXPECT_EQ(d.btnSource->text(), "Video Source");
    EXPECT_EQ(d.btnFormat->geometry(), QRect(156, 37, 93, 36));
    EXPECT_EQ(d.btnFormat->text(), "Video Format");
    EXPECT_EQ(d.btnClose->geometry(), QRect(219, 140, 61, 20));
    EXPECT_EQ(d.btnClose->text(), "Close");
    EXPECT_FALSE(d.btnSource->isEnabled());
    EXPECT_FALSE(d.btnFormat->isEnabled());
    EXPECT_TRUE(d.btnClose->isEnabled());
}

TEST_F(VideoOptions, EachShowingAsksTheDriverAfreshAndCloseDisablesBoth) {
    camera.hasSourceDialog = true;
    camera.hasFormatDialog = false;
    MakeVideoCap().StartVideo();
    video::TfrmVideoOptions& d = ShowDialog();
    EXPECT_TRUE(d.btnSource->isEnabled());
    EXPECT_FALSE(d.btnFormat->isEnabled());

    QTest::mouseClick(d.btnSource, Qt::LeftButton);
    EXPECT_TRUE(camera.requests.contains("DlgVideoSource"));

    QTest::mouseClick(d.btnClose, Qt::LeftButton);
    EXPECT_FALSE(d.isVisible());
    EXPECT_FALSE(d.btnSource->isEnabled());
    EXPECT_FALSE(d.btnFormat->isEnabled());

    camera.hasSourceDialog = false;
    camera.hasFormatDialog = true;
    ShowDialog();
    EXPECT_FALSE(d.btnSource->isEnabled());
    EXPECT_TRUE(d.btnFormat->isEnabled());
    QTest::mouseClick(d.btnClose, Qt::LeftButton);
}

TEST_F(VideoOptions, WithoutACameraOnlyCloseWorks) {
    camera.drivers.clear();
    ModalWatcher watcher;
    MakeVideoCap().StartVideo();
    ASSERT_TRUE(watcher.box().seen);
    camera.requests.clear();

    video::TfrmVideoOptions& d = ShowDialog();
    EXPECT_FALSE(d.btnSource->isEnabled());
    EXPECT_FALSE(d.btnFormat->isEnabled());
    QTest::mouseClick(d.btnClose, Qt::LeftButton);
    EXPECT_FALSE(d.isVisible());
}

TEST_F(VideoOptions, TheFormatDialogRebuildsTheFrameBufferForTheNewFormat) {
    video::VideoCap& cap = MakeVideoCap();
    cap.StartVideo();
    ASSERT_EQ(cap.frames().FrameClass(), video::kClassRGB);
    video::PictureView picture;
    cap.OnPreviewFrame = [&](const video::CameraFrame& frame) {
        picture = cap.PrepareFrame(frame);
    };

    camera.formatDialogChoice =
        video::FormatHeader(640, 480, 16, video::FourCC('Y', 'U', 'Y', '2'), 0);
    video::TfrmVideoOptions& d = ShowDialog();
    camera.requests.clear();
    QTest::mouseClick(d.btnFormat, Qt::LeftButton);
    EXPECT_EQ(camera.requests.mid(0, 2), (QStringList{"DlgVideoFormat", "GetVideoFormat 0"}));
    EXPECT_EQ(cap.frames().FrameClass(), video::kClassYUY2);
    EXPECT_EQ(cap.frames().format().frameBytes, 640u * 480 * 2);

    // The next frames are converted at the new size: the picture's top row
    // starts with the white bar of the test pattern.
    picture = {};
    ASSERT_TRUE(QTest::qWaitFor([&] { return !picture.empty(); }, 5000));
    ASSERT_EQ(picture.width, 640);
    ASSERT_EQ(picture.height, 480);
    const std::uint8_t* top = picture.top;
    EXPECT_GE(top[0], 250);
    EXPECT_GE(top[1], 250);
    EXPECT_GE(top[2], 250);

    // Choosing nothing new still reads the format again.
    camera.formatDialogChoice.reset();
    camera.requests.clear();
    QTest::mouseClick(d.btnFormat, Qt::LeftButton);
    EXPECT_EQ(camera.requests.mid(0, 2), (QStringList{"DlgVideoFormat", "GetVideoFormat 0"}));
    QTest::mouseClick(d.btnClose, Qt::LeftButton);
}

TEST_F(VideoOptions, ADriverWithoutFormatAfterTheDialogGoesToTheGeneralErrorReport) {
    MakeVideoCap().StartVideo();
    video::TfrmVideoOptions& d = ShowDialog();
    camera.noFormat = true;
    ModalWatcher watcher;
    QTest::mouseClick(d.btnFormat, Qt::LeftButton);
    EXPECT_TRUE(watcher.box().seen);
    EXPECT_EQ(watcher.box().title, kApplicationTitle);
    EXPECT_TRUE(d.isVisible()); // the dialog itself goes on
    QTest::mouseClick(d.btnClose, Qt::LeftButton);
}
