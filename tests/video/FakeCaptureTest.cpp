// The scripted camera that the capture tests and the end-to-end tests use:
// its frames must show the test pattern the right way up in every format,
// and arrive like a real camera's.
#include "tests/fakes/FakeCapture.h"
#include "video/capture/PreviewImage.h"
#include "video/capture/PreviewWidget.h"
#include "video/conversion/YUVConverters.h"

#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

using namespace vocalyn;
using fakes::FakeCaptureService;
using video::BITMAPINFOHEADER;
using video::FourCC;

namespace {

int Distance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

QImage Shown(const BITMAPINFOHEADER& format, int frameNumber) {
    const QByteArray frame = FakeCaptureService::PatternFrame(format, frameNumber);
    return video::PreviewImage(format, {reinterpret_cast<const std::uint8_t*>(frame.constData()),
                                        static_cast<std::size_t>(frame.size())});
}

} // namespace

TEST(FakeCapture, EveryFormatShowsThePatternTheRightWayUp) {
    const BITMAPINFOHEADER formats[] = {
        video::FormatHeader(40, 32, 24, video::kBI_RGB, 0),
        video::FormatHeader(40, 32, 32, video::kBI_RGB, 0),
        video::FormatHeader(40, 32, 16, video::kBI_BITFIELDS, 0),
        video::FormatHeader(40, 32, 16, FourCC('Y', 'U', 'Y', '2'), 0),
        video::FormatHeader(40, 32, 16, FourCC('U', 'Y', 'V', 'Y'), 0),
        video::FormatHeader(40, 32, 12, FourCC('Y', '4', '1', 'P'), 0),
        video::FormatHeader(40, 32, 9, FourCC('Y', 'V', 'U', '9'), 0),
        video::FormatHeader(40, 32, 12, FourCC('I', '4', '2', '0'), 0),
        video::FormatHeader(40, 32, 8, FourCC('Y', '8', ' ', ' '), 0),
        video::FormatHeader(40, 32, 16, FourCC('Y', '2', '1', '1'), 0),
        video::FormatHeader(40, 32, 24, FourCC('M', 'J', 'P', 'G'), 0),
    };
    const QImage pattern = FakeCaptureService::PatternImage(40, 32, 3);
    for (const BITMAPINFOHEADER& format : formats) {
        SCOPED_TRACE(format.biCompression);
        const QImage shown = Shown(format, 3);
        ASSERT_EQ(shown.size(), QSize(40, 32));
        // The middle of each bar near the top, the ramp near the bottom.
        const bool grey = format.biCompression == FourCC('Y', '8', ' ', ' ');
        for (const QPoint point : {QPoint(2, 2), QPoint(12, 4), QPoint(22, 2), QPoint(37, 3),
                                   QPoint(5, 29), QPoint(34, 30)}) {
            const QRgb expected =
                grey ? qRgb(qGray(pattern.pixel(point)), qGray(pattern.pixel(point)),
                            qGray(pattern.pixel(point)))
                     : pattern.pixel(point);
            EXPECT_LE(Distance(shown.pixel(point), expected), 40) << point.x() << "," << point.y();
        }
    }
}

// The same rows in the other order: a bottom-up frame as the top-down one of the same picture.
QByteArray RowsTurnedOver(const QByteArray& frame, int rows) {
    const qsizetype rowBytes = frame.size() / rows;
    QByteArray turned;
    for (int row = rows - 1; row >= 0; --row)
        turned += frame.mid(row * rowBytes, rowBytes);
    return turned;
}

TEST(PreviewMaker, SamplesFramesDownToThePreviewUprightAndReusesItsPictures) {
    struct Case {
        std::uint32_t code;
        int bits;
        bool topDown;
    };
    for (const Case kind :
         {Case{FourCC('Y', 'U', 'Y', '2'), 16, false}, Case{FourCC('U', 'Y', 'V', 'Y'), 16, false},
          Case{video::kBI_RGB, 24, false}, Case{video::kBI_RGB, 24, true},
          Case{video::kBI_RGB, 32, false}}) {
        SCOPED_TRACE(testing::Message() << kind.code << "/" << kind.bits << "/" << kind.topDown);
        BITMAPINFOHEADER format = video::FormatHeader(160, 120, kind.bits, kind.code, 0);
        QByteArray bytes = FakeCaptureService::PatternFrame(format, 3);
        // Any bytes at all, for the frame's own size, where nothing is mixed.
        QByteArray noise(bytes.size(), '\0');
        for (qsizetype i = 0; i < noise.size(); ++i)
            noise[i] = static_cast<char>(i * 2654435761u >> 13);
        if (kind.topDown) {
            bytes = RowsTurnedOver(bytes, 120);
            format.biHeight = -120;
        }
        const auto span = [](const QByteArray& data) {
            return std::span(reinterpret_cast<const std::uint8_t*>(data.constData()),
                             static_cast<std::size_t>(data.size()));
        };
        const QImage full = video::PreviewImage(format, span(bytes));
        video::PreviewMaker maker;
        // Drawn at its own size, or larger than the frame: the whole frame, left to the painter.
        EXPECT_EQ(maker.Make(format, span(bytes), {}).image.size(), QSize(160, 120));
        EXPECT_EQ(maker.Make(format, span(bytes), {162, 120}).image.size(), QSize(160, 120));

        // At the frame's own size, also with rows left over after the last whole batch of them.
        for (const int rows : {120, 117}) {
            BITMAPINFOHEADER own = format;
            own.biHeight = format.biHeight < 0 ? -rows : rows;
            const QByteArray part = noise.left(noise.size() / 120 * rows);
            const video::PreviewFrame same = maker.Make(own, span(part), {160, rows});
            EXPECT_FALSE(same.bottomUp);
            EXPECT_EQ(same.image.convertToFormat(QImage::Format_RGB32),
                      video::PreviewImage(own, span(part)).convertToFormat(QImage::Format_RGB32));
        }

        for (const QSize shown : {QSize(80, 60), QSize(100, 70)}) {
            SCOPED_TRACE(shown.width());
            const video::PreviewFrame small = maker.Make(format, span(bytes), shown);
            ASSERT_EQ(small.image.size(), shown);
            EXPECT_FALSE(small.bottomUp);
            // Inside each bar and on the ramp: what the full frame shows at the same place.
            for (const QPoint point : {QPoint(1, 1), QPoint(6, 2), QPoint(11, 1), QPoint(18, 1),
                                       QPoint(2, 58), QPoint(40, 30), QPoint(77, 57)}) {
                const QPoint at(point.x() * 160 / shown.width(), point.y() * 120 / shown.height());
                EXPECT_LE(Distance(small.image.pixel(point), full.pixel(at)), 24)
                    << point.x() << "," << point.y();
            }
        }

        // Once the preview has let go of the picture before last, the next one is drawn into it.
        video::PreviewFrame held = maker.Make(format, span(bytes), {80, 60});
        const uchar* first = held.image.constBits();
        held = maker.Make(format, span(bytes), {80, 60});
        const uchar* second = held.image.constBits();
        EXPECT_NE(second, first);
        EXPECT_EQ(maker.Make(format, span(bytes), {80, 60}).image.constBits(), first);
    }
}

TEST(FakeCapture, FramesHaveTheSizeOfTheirLayoutAndMove) {
    EXPECT_EQ(
        FakeCaptureService::PatternFrame(video::FormatHeader(384, 288, 24, video::kBI_RGB, 0), 0)
            .size(),
        331776);
    const BITMAPINFOHEADER yuy2 = video::FormatHeader(640, 480, 16, FourCC('Y', 'U', 'Y', '2'), 0);
    EXPECT_EQ(FakeCaptureService::PatternFrame(yuy2, 0).size(), 614400);
    EXPECT_EQ(FakeCaptureService::PatternFrame(
                  video::FormatHeader(7, 5, 16, FourCC('Y', '2', '1', '1'), 0), 0)
                  .size(),
              2 * 4 * 5);
    EXPECT_NE(FakeCaptureService::PatternFrame(yuy2, 0), FakeCaptureService::PatternFrame(yuy2, 1));
    // A bit-field format reports its three masks behind the header.
    EXPECT_EQ(
        FakeCaptureService::FormatBlockOf(video::FormatHeader(8, 8, 16, video::kBI_BITFIELDS, 0))
            .size(),
        52);
}

TEST(FakeCapture, FramesArriveFromTheEventLoopAtThePreviewRate) {
    FakeCaptureService camera;
    camera.format = video::FormatHeader(64, 48, 16, FourCC('Y', 'U', 'Y', '2'), 0);
    QWidget host;
    host.resize(176, 144);
    auto window = camera.CreateCaptureWindow("Test", &host, {0, 0, 176, 144}, 0);
    int frames = 0;
    bool onMainThread = true;
    window->SetCallbackFrame([&](const video::CameraFrame& frame) {
        onMainThread = onMainThread && QThread::currentThread() == host.thread();
        EXPECT_EQ(frame.bytes, 64u * 48 * 2);
        EXPECT_EQ(frame.stride, 64 * 2);
        ++frames;
        return 1;
    });
    ASSERT_TRUE(window->DriverConnect(0));
    window->SetPreviewRate(10);
    window->SetPreview(true);
    EXPECT_EQ(frames, 0); // nothing until the event loop runs
    EXPECT_TRUE(QTest::qWaitFor([&] { return frames >= 3; }, 5000));
    EXPECT_TRUE(onMainThread);

    window->SetPreview(false);
    const int stopped = frames;
    EXPECT_FALSE(QTest::qWaitFor([&] { return frames > stopped; }, 100));
    EXPECT_FALSE(camera.window()->preview()->frame().isNull());
}
