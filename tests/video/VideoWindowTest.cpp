// The main window's video handlers through its real endpoints and buttons, on the scripted
// camera: the window sends its frames to its own listener on loopback.
#include "tests/app/MainWindowFixture.h"
#include "tests/video/CraftedJpeg.h"
#include "tests/video/PictureSupport.h"

#include "net/UniqueFd.h"
#include "video/conversion/FormatCodes.h"
#include "video/transport/VideoTransport.h"
#include "widgets/FlatButton.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>

namespace vocalyn::test {
namespace {

using video::FormatHeader;

// A bare socket on its own loopback address: another computer sending video datagrams.
class Sender {
public:
    explicit Sender(const char* from) : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        ::inet_pton(AF_INET, from, &address.sin_addr);
        ::bind(fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    void Send(int port, const QByteArray& payload) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<quint16>(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(fd_.get(), payload.constData(), size_t(payload.size()), 0,
                 reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

private:
    net::UniqueFd fd_;
};

// Records every message box shown. While one is up, the camera delivers three more frames into
// its loop, as a real camera does, and then the box is closed.
class BoxCounter {
public:
    explicit BoxCounter(fakes::FakeCaptureService& camera) : camera_(camera) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
        timer_.start();
    }
    QStringList shown; // caption and text of each box
    int mostAtOnce = 0;

private:
    void Look() {
        QList<QMessageBox*> visible;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                visible << box;
        mostAtOnce = std::max(mostAtOnce, int(visible.size()));
        for (QMessageBox* box : visible) {
            auto seen = std::find_if(open_.begin(), open_.end(),
                                     [box](const auto& entry) { return entry.first == box; });
            if (seen == open_.end()) {
                open_.append({box, 0});
                shown << box->windowTitle() + QStringLiteral(": ") + box->text();
            } else if (seen->second < 3 && injected_ < 12 && camera_.window()) {
                ++seen->second;
                ++injected_;
                // Posted, so that the frame handler runs in the box's loop, not in this timer's.
                QMetaObject::invokeMethod(
                    qApp,
                    [this] {
                        if (camera_.window())
                            camera_.window()->DeliverFrame();
                    },
                    Qt::QueuedConnection);
            } else {
                box->done(QMessageBox::Ok);
            }
        }
    }

    fakes::FakeCaptureService& camera_;
    QList<std::pair<QPointer<QMessageBox>, int>> open_;
    int injected_ = 0; // bounded, so that a fault that stacks boxes cannot nest without end
    QTimer timer_;
};

class VideoWindowTest : public MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        TfrmMain& w = CreateWindow();
        // Counts what the video listener hands over, around the window's own handler.
        w.UDPServer1.OnUDPRead = [this, handler = w.UDPServer1.OnUDPRead](
                                     net::TIdUDPServer& server, const QByteArray& data,
                                     net::TIdSocketHandle& binding) {
            handler(server, data, binding);
            ++handled;
        };
    }

    // Waits until the camera has delivered `count` more frames.
    bool WaitFrames(int count) {
        const int until = camera->framesDelivered + count;
        return QTest::qWaitFor([&] { return camera->framesDelivered >= until; }, 5000);
    }

    void SendToSelf() {
        window->UDPClient1.Host = QStringLiteral("127.0.0.1");
        window->SendingVideo = true;
    }

    QImage Picture() const { return window->Image1->pixmap().toImage(); }

    // How far the picture is from the nearest of the camera's recent frames.
    double DistanceFromPattern() const {
        const QImage picture = Picture();
        double best = 1e9;
        for (int n = std::max(0, camera->framesDelivered - 30); n < camera->framesDelivered; ++n)
            best =
                std::min(best, MeanDifference(picture, fakes::FakeCaptureService::PatternImage(
                                                           picture.width(), picture.height(), n)));
        return best;
    }

    int handled = 0;
};

TEST_F(VideoWindowTest, FramesTravelOnlyWhileSendingVideoAndFillThePicture) {
    TfrmMain& w = ShowWindow();
    const qint64 splash = w.Image1->pixmap().cacheKey();
    w.UDPClient1.Host = QStringLiteral("127.0.0.1");
    ASSERT_TRUE(WaitFrames(5));
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(w.videoTransport->datagramsSent(), 0u);

    SendToSelf();
    ASSERT_TRUE(QTest::qWaitFor([&] { return handled >= 3; }, 5000));
    EXPECT_NE(w.Image1->pixmap().cacheKey(), splash);
    EXPECT_EQ(Picture().size(), QSize(384, 288));
    EXPECT_LT(DistanceFromPattern(), 3.0);
    EXPECT_EQ(w.videoTransport->lastQuality(), 90);
    EXPECT_EQ(w.edtHostName->text(), QStringLiteral("127.0.0.1"));

    w.SendingVideo = false;
    ASSERT_TRUE(WaitFrames(2));
    const int arrived = handled;
    ASSERT_TRUE(WaitFrames(5));
    EXPECT_EQ(handled, arrived);
}

// Uncompressed formats may leave their image size 0: the frames still fill the picture sent,
// each one its own, whether their rows are read in place (24 bits) or as a bitmap file (16-bit
// masks).
TEST_F(VideoWindowTest, AnRgbFormatWithoutImageSizeSendsEveryFramesPixels) {
    camera->keepsFormat = true;
    camera->reportsNoImageSize = true;
    camera->format = FormatHeader(384, 288, 24, video::kBI_RGB, 0);
    TfrmMain& w = ShowWindow();
    SendToSelf();
    ASSERT_TRUE(QTest::qWaitFor([&] { return handled >= 3; }, 5000));
    EXPECT_EQ(Picture().size(), QSize(384, 288));
    EXPECT_LT(DistanceFromPattern(), 3.0);

    camera->format = FormatHeader(320, 240, 16, video::kBI_BITFIELDS, 0);
    w.videoCap->ReadVideoFormat();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Picture().size() == QSize(320, 240); }, 5000));
    const int shown = handled;
    ASSERT_TRUE(QTest::qWaitFor([&] { return handled >= shown + 3; }, 5000));
    EXPECT_LT(DistanceFromPattern(), 6.0);
}

TEST_F(VideoWindowTest, SnapshotCopiesTheSplashAndThenTheLastFrame) {
    TfrmMain& w = ShowWindow();
    QTest::mouseClick(w.btnSnapShot, Qt::LeftButton);
    const QImage splash = QGuiApplication::clipboard()->image();
    EXPECT_EQ(splash.size(), QSize(640, 480));
    EXPECT_EQ(splash.convertToFormat(QImage::Format_RGB32),
              Picture().convertToFormat(QImage::Format_RGB32));

    SendToSelf();
    ASSERT_TRUE(QTest::qWaitFor([&] { return handled >= 1; }, 5000));
    w.SendingVideo = false;
    ASSERT_TRUE(WaitFrames(3));
    QTest::mouseClick(w.btnSnapShot, Qt::LeftButton);
    const QImage frame = QGuiApplication::clipboard()->image();
    EXPECT_EQ(frame.size(), QSize(384, 288));
    EXPECT_EQ(frame.convertToFormat(QImage::Format_RGB32),
              Picture().convertToFormat(QImage::Format_RGB32));
}

TEST_F(VideoWindowTest, OnlyTheFirstDatagramLearnsTheHostAndBadOnesKeepThePicture) {
    TfrmMain& w = ShowWindow();
    w.edtHostName->setText(QStringLiteral("typed by the user"));
    const qint64 splash = w.Image1->pixmap().cacheKey();
    Sender first("127.0.0.2"), second("127.0.0.3");
    const QByteArray good = EncodeFile(NoisyPicture(160, 120, 4));
    const int port = platform.videoPort;

    first.Send(port, "not a picture");
    second.Send(port, good.left(good.size() / 2));
    second.Send(port, EncodeFile(NoisyPicture(4097, 8, 4)));
    second.Send(port, CraftJpeg({CraftedKind::Progressive, 4000, 4000, 1}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return handled == 4; }, 5000));
    EXPECT_EQ(w.edtHostName->text(), QStringLiteral("127.0.0.2"));
    EXPECT_EQ(w.Image1->pixmap().cacheKey(), splash);

    second.Send(port, good);
    ASSERT_TRUE(QTest::qWaitFor([&] { return handled == 5; }, 5000));
    EXPECT_EQ(Picture().size(), QSize(160, 120));
    EXPECT_EQ(w.edtHostName->text(), QStringLiteral("127.0.0.2"));
}

TEST_F(VideoWindowTest, ASendErrorIsReportedOncePerCall) {
    TfrmMain& w = ShowWindow();
    BoxCounter boxes(*camera);
    w.UDPClient1.Host = QStringLiteral("nowhere"); // the resolver does not know it
    w.SendingVideo = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.shown.isEmpty(); }, 5000));
    ASSERT_TRUE(WaitFrames(8));
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_TRUE(boxes.shown[0].contains(QStringLiteral("Socket Error # 11001")))
        << boxes.shown[0].toStdString();

    w.SendingVideo = false; // the call ends, another one starts
    ASSERT_TRUE(WaitFrames(2));
    w.SendingVideo = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.shown.size() == 2; }, 5000));
    ASSERT_TRUE(WaitFrames(8));
    EXPECT_EQ(boxes.shown.size(), 2);
    EXPECT_EQ(boxes.mostAtOnce, 1);
}

TEST_F(VideoWindowTest, AnUnreadableFormatIsWarnedOncePerFormatAndNeverStacked) {
    camera->keepsFormat = true;
    camera->format = FormatHeader(384, 288, 15, video::kBI_RGB, 0);
    BoxCounter boxes(*camera);
    TfrmMain& w = ShowWindow();
    const QString warning =
        QStringLiteral("Warning: Invalid Video Format Selected. Please Select RGB.");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.shown.isEmpty(); }, 5000));
    ASSERT_TRUE(WaitFrames(8));
    EXPECT_EQ(boxes.shown, QStringList{warning});

    camera->format = FormatHeader(384, 288, 64, video::kBI_RGB, 0);
    w.videoCap->ReadVideoFormat();
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.shown.size() == 2; }, 5000));
    camera->format = FormatHeader(384, 288, 15, video::kBI_RGB, 0);
    w.videoCap->ReadVideoFormat();
    ASSERT_TRUE(WaitFrames(8));
    EXPECT_EQ(boxes.shown, QStringList({warning, warning}));
    EXPECT_EQ(boxes.mostAtOnce, 1);
}

TEST_F(VideoWindowTest, AFormatOfUnknownKindSendsNothingAndSaysNothing) {
    camera->keepsFormat = true;
    camera->format = FormatHeader(384, 288, 24, video::FourCC('M', 'J', 'P', 'G'), 0);
    BoxCounter boxes(*camera);
    ShowWindow();
    SendToSelf();
    ASSERT_TRUE(WaitFrames(5));
    EXPECT_EQ(handled, 0);
    EXPECT_TRUE(boxes.shown.isEmpty());
}

} // namespace
} // namespace vocalyn::test
