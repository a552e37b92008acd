// The picture the encoder gets of each kind of camera frame, against the long way round it
// replaces: the frame written into a bitmap file (converted formats as the bottom-up rows of the
// named converters) and read back by a bitmap reader. Both must give the same datagram, byte
// for byte.
#include "tests/fakes/FakeCapture.h"
#include "tests/video/PictureSupport.h"
#include "video/conversion/FrameBuffer.h"
#include "video/conversion/VideoFormatSource.h"
#include "video/conversion/YUVConverters.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QtEndian>

#include <cstring>
#include <random>

namespace vocalyn::test {
namespace {

using fakes::FakeCaptureService;
using video::BITMAPINFOHEADER;
using video::FormatHeader;
using video::FourCC;

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

// The frame as a bitmap file: the driver's own header and rows for RGB, else a 32-bit header
// and the converter's bottom-up rows; read by Qt's bitmap reader.
QImage ReadAsBitmapFile(const QByteArray& block, const QByteArray& frame) {
    const BITMAPINFOHEADER driver = video::ReadBitmapHeader(block);
    const int frameClass = video::ClassifyFormat(driver.biCompression);
    QByteArray header = block;
    QByteArray pixels = frame;
    if (frameClass != video::kClassRGB) {
        BITMAPINFOHEADER converted;
        video::BuildBitmapHeader(converted, driver.biWidth, driver.biHeight, 32);
        header = video::BitmapHeaderBytes(converted);
        pixels = QByteArray(qsizetype(converted.biSizeImage), '\0');
        video::ConvertFrame(frameClass, reinterpret_cast<const std::uint8_t*>(frame.constData()),
                            reinterpret_cast<std::uint8_t*>(pixels.data()), driver.biWidth,
                            driver.biHeight);
    }
    QByteArray file(14, '\0');
    file[0] = 'B';
    file[1] = 'M';
    qToLittleEndian(std::uint32_t(14 + header.size() + pixels.size()), file.data() + 2);
    qToLittleEndian(std::uint32_t(14 + header.size()), file.data() + 10);
    return QImage::fromData(file + header + pixels, "BMP").convertToFormat(QImage::Format_RGB888);
}

QByteArray Encode(const video::PictureView& picture) {
    std::vector<std::uint8_t> out(std::size_t(picture.width) * picture.height * 4 + 65536);
    video::JpegEncoder encoder;
    const auto result = encoder.Encode(picture, 90, out);
    return QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(result.size));
}

class FramePictureTest : public ::testing::Test {
protected:
    // The picture of one frame, through the frame buffer as the capture connection uses it.
    video::PictureView Picture(const QByteArray& block, const QByteArray& frame) {
        driver.block = block;
        frames.ReadVideoFormat(&driver);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(frame.constData());
        return frames.Picture(video::DescribeFrame(video::ReadBitmapHeader(block),
                                                   {bytes, std::size_t(frame.size())}));
    }

    Driver driver;
    video::FrameBuffer frames;
};

TEST_F(FramePictureTest, EveryReadableFormatGivesTheDatagramOfItsBitmapFile) {
    const BITMAPINFOHEADER formats[] = {
        FormatHeader(384, 288, 24, video::kBI_RGB, 0),
        FormatHeader(101, 37, 24, video::kBI_RGB, 0), // padded rows
        FormatHeader(64, 48, 32, video::kBI_RGB, 0),
        FormatHeader(96, -40, 24, video::kBI_RGB, 0), // top-down
        FormatHeader(64, 48, 16, video::kBI_BITFIELDS, 0),
        FormatHeader(62, 48, 16, video::kBI_RGB, 0), // 5-5-5
        FormatHeader(320, 240, 16, FourCC('Y', 'U', 'Y', '2'), 0),
        FormatHeader(160, 120, 16, FourCC('U', 'Y', 'V', 'Y'), 0),
        FormatHeader(100, 30, 12, FourCC('Y', '4', '1', 'P'), 0), // a partial group
        FormatHeader(160, 120, 9, FourCC('Y', 'V', 'U', '9'), 0),
        FormatHeader(64, 48, 12, FourCC('I', '4', '2', '0'), 0),
        FormatHeader(101, 37, 8, FourCC('Y', '8', ' ', ' '), 0),
        FormatHeader(160, 120, 16, FourCC('Y', '2', '1', '1'), 0),
    };
    for (const BITMAPINFOHEADER& format : formats) {
        SCOPED_TRACE(QStringLiteral("%1 x %2, %3 bits, code %4")
                         .arg(format.biWidth)
                         .arg(format.biHeight)
                         .arg(format.biBitCount)
                         .arg(format.biCompression, 8, 16)
                         .toStdString());
        const QByteArray block = FakeCaptureService::FormatBlockOf(format);
        const QByteArray frame = FakeCaptureService::PatternFrame(format, 5);
        const QImage reference = ReadAsBitmapFile(block, frame);
        ASSERT_FALSE(reference.isNull());
        const video::PictureView picture = Picture(block, frame);
        ASSERT_FALSE(picture.empty());
        EXPECT_EQ(Encode(picture), EncodeFile(reference));
    }

    // Colour indices with the driver's table, which no scripted camera delivers.
    QByteArray indexed = video::BitmapHeaderBytes(FormatHeader(31, 9, 8, video::kBI_RGB, 0));
    qToLittleEndian(std::uint32_t(40), indexed.data() + 32); // colours in the table
    std::mt19937 random(3);
    QByteArray frame(32 * 9, '\0');
    for (int i = 0; i < 40 * 4; ++i)
        indexed.append(char(random()));
    for (char& index : frame)
        index = char(random() % 40);
    EXPECT_EQ(Encode(Picture(indexed, frame)), EncodeFile(ReadAsBitmapFile(indexed, frame)));
}

// A format nothing reads shows the last picture the frame buffer made, at (0, 0) on black, or
// black when there was none: what a bitmap reader that failed left behind.
TEST_F(FramePictureTest, AnUnreadableFormatGivesTheLastPictureMadeOrBlack) {
    const BITMAPINFOHEADER unreadable = FormatHeader(80, 40, 15, video::kBI_RGB, 0);
    const QByteArray unreadableBlock = FakeCaptureService::FormatBlockOf(unreadable);
    const QByteArray unreadableFrame = FakeCaptureService::PatternFrame(unreadable, 9);
    QImage expected(80, 40, QImage::Format_RGB888);
    expected.fill(Qt::black);
    EXPECT_EQ(Encode(Picture(unreadableBlock, unreadableFrame)), EncodeFile(expected));
    EXPECT_FALSE(frames.format().readable());

    const BITMAPINFOHEADER masked = FormatHeader(64, 48, 16, video::kBI_BITFIELDS, 0);
    const QByteArray block = FakeCaptureService::FormatBlockOf(masked);
    const QByteArray frame = FakeCaptureService::PatternFrame(masked, 5);
    ASSERT_FALSE(Picture(block, frame).empty());
    QPainter(&expected).drawImage(0, 0, ReadAsBitmapFile(block, frame));
    EXPECT_EQ(Encode(Picture(unreadableBlock, unreadableFrame)), EncodeFile(expected));
}

} // namespace
} // namespace vocalyn::test
