#include "video/transport/FramePicture.h"

#include "tests/fakes/FakeCapture.h"
#include "video/conversion/FormatCodes.h"
#include "video/conversion/FrameBuffer.h"
#include "video/conversion/VideoFormatSource.h"
#include "video/conversion/YUVConverters.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vocalyn::test {
namespace {

using fakes::FakeCaptureService;
using video::BITMAPINFOHEADER;
using video::FormatHeader;
using video::FourCC;
using video::FramePicture;
using video::kBI_BITFIELDS;
using video::kBI_RGB;
using Reading = FramePicture::Reading;

class Driver : public video::VideoFormatSource {
public:
    QByteArray block;
    std::uint32_t GetVideoFormatSize() override { return std::uint32_t(block.size()); }
    std::uint32_t GetVideoFormat(std::span<std::byte> out) override {
        const std::size_t count = std::min(out.size(), std::size_t(block.size()));
        std::memcpy(out.data(), block.constData(), count);
        return std::uint32_t(count);
    }
    bool SetVideoFormat(std::span<const std::byte>) override { return false; }
};

class FramePictureTest : public ::testing::Test {
protected:
    // Puts one pattern frame of the format into the frame buffer, as the capture connection does.
    void Capture(const BITMAPINFOHEADER& format, int frameNumber = 5) {
        driver.block = FakeCaptureService::FormatBlockOf(format);
        frames.ReadVideoFormat(&driver);
        const QByteArray frame = FakeCaptureService::PatternFrame(format, frameNumber);
        const auto* source = reinterpret_cast<const std::uint8_t*>(frame.constData());
        if (frames.FrameClass() == video::kClassRGB)
            std::memcpy(frames.FramePixels(), source,
                        std::min<std::size_t>(frame.size(), frames.FramePixelBytes()));
        else
            video::ConvertFrame(frames.FrameClass(), source, frames.FramePixels(), format.biWidth,
                                format.biHeight);
    }

    // The bitmap file as a bitmap reader sees it.
    QImage ReadBitmapFile() const {
        return QImage::fromData(frames.FrameStream(), "BMP").convertToFormat(QImage::Format_RGB888);
    }

    // The picture the encoder gets, copied into an ordinary image.
    static QImage Copy(const video::PictureView& view) {
        QImage image(view.width, view.height, QImage::Format_RGB888);
        const int bytes = view.layout == video::PixelLayout::BGRX ? 4 : 3;
        for (int y = 0; y < view.height; ++y) {
            const std::uint8_t* in = view.top + std::ptrdiff_t(y) * view.stride;
            std::uint8_t* out = image.scanLine(y);
            for (int x = 0; x < view.width; ++x) {
                const std::uint8_t* p = in + x * bytes;
                const bool rgb = view.layout == video::PixelLayout::RGB;
                out[3 * x] = rgb ? p[0] : p[2];
                out[3 * x + 1] = p[1];
                out[3 * x + 2] = rgb ? p[2] : p[0];
            }
        }
        return image;
    }

    Driver driver;
    video::FrameBuffer frames;
    FramePicture picture;
};

TEST_F(FramePictureTest, PlainRowsAreUsedWhereTheyLieAndMatchTheBitmapFile) {
    const BITMAPINFOHEADER formats[] = {
        FormatHeader(384, 288, 24, kBI_RGB, 0),
        FormatHeader(101, 37, 24, kBI_RGB, 0), // padded rows
        FormatHeader(64, 48, 32, kBI_RGB, 0),
        FormatHeader(96, -40, 24, kBI_RGB, 0), // top-down
        FormatHeader(320, 240, 16, FourCC('Y', 'U', 'Y', '2'), 0),
        FormatHeader(64, 48, 12, FourCC('I', '4', '2', '0'), 0),
    };
    for (const BITMAPINFOHEADER& format : formats) {
        Capture(format);
        ASSERT_EQ(picture.PrepareFrame(frames), Reading::Direct) << format.biWidth;
        const QImage expected = ReadBitmapFile();
        ASSERT_FALSE(expected.isNull());
        EXPECT_EQ(Copy(picture.picture()), expected) << format.biWidth << "x" << format.biHeight;
    }
}

TEST_F(FramePictureTest, OtherFormatsAreReadAsBitmapFiles) {
    Capture(FormatHeader(64, 48, 16, kBI_BITFIELDS, 0));
    EXPECT_EQ(picture.PrepareFrame(frames), Reading::Bitmap);
    EXPECT_EQ(Copy(picture.picture()), ReadBitmapFile());
}

TEST_F(FramePictureTest, AnUnreadableBitmapFileGivesTheLastPictureReadOrBlack) {
    FramePicture fresh;
    Capture(FormatHeader(64, 48, 15, kBI_RGB, 0));
    ASSERT_TRUE(ReadBitmapFile().isNull()) << "a format no bitmap reader takes";
    EXPECT_EQ(fresh.PrepareFrame(frames), Reading::Unreadable);
    QImage black(64, 48, QImage::Format_RGB888);
    black.fill(Qt::black);
    EXPECT_EQ(Copy(fresh.picture()), black);

    Capture(FormatHeader(64, 48, 16, kBI_BITFIELDS, 0));
    ASSERT_EQ(picture.PrepareFrame(frames), Reading::Bitmap);
    const QImage last = ReadBitmapFile();
    Capture(FormatHeader(64, 48, 15, kBI_RGB, 0), 9);
    EXPECT_EQ(picture.PrepareFrame(frames), Reading::Unreadable);
    EXPECT_EQ(Copy(picture.picture()), last);
}

} // namespace
} // namespace vocalyn::test
