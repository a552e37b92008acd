#include "video/conversion/FrameBuffer.h"

#include "base/Error.h"
#include "video/conversion/VideoFormatSource.h"
#include "video/conversion/YUVConverters.h"

#include <gtest/gtest.h>

#include <QtEndian>

#include <cstring>
#include <vector>

namespace vocalyn::video {
namespace {

// A driver that keeps the format it was given (or refuses every change) and
// records each request.
class FakeDriver : public VideoFormatSource {
public:
    QByteArray format;
    bool connected = true;
    bool keepsItsFormat = false;
    std::vector<QByteArray> requests;

    std::uint32_t GetVideoFormatSize() override {
        return connected ? static_cast<std::uint32_t>(format.size()) : 0;
    }
    std::uint32_t GetVideoFormat(std::span<std::byte> block) override {
        const std::size_t count = std::min(block.size(), static_cast<std::size_t>(format.size()));
        std::memcpy(block.data(), format.constData(), count);
        return static_cast<std::uint32_t>(count);
    }
    bool SetVideoFormat(std::span<const std::byte> block) override {
        requests.emplace_back(reinterpret_cast<const char*>(block.data()),
                              static_cast<qsizetype>(block.size()));
        if (!keepsItsFormat)
            format = requests.back();
        return !keepsItsFormat;
    }
};

QByteArray Format(int width, int height, int bits, std::uint32_t compression,
                  QByteArray extra = {}) {
    BITMAPINFOHEADER header;
    BuildBitmapHeader(header, width, height, bits);
    header.biCompression = compression;
    return BitmapHeaderBytes(header) + extra;
}

template <class T> T At(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<T>(bytes.constData() + offset);
}

constexpr std::uint32_t kYUY2 = 0x32595559;

TEST(FrameBufferTest, RequestsRgb384x288AndBuildsItsBitmapFile) {
    FakeDriver driver;
    FrameBuffer frames;
    frames.InitFrameBuffer(&driver);

    ASSERT_EQ(driver.requests.size(), 1u);
    const QByteArray& request = driver.requests[0];
    ASSERT_EQ(request.size(), 40);
    EXPECT_EQ(At<std::uint32_t>(request, 0), 40u);
    EXPECT_EQ(At<std::int32_t>(request, 4), 384);
    EXPECT_EQ(At<std::int32_t>(request, 8), 288);
    EXPECT_EQ(At<std::uint16_t>(request, 12), 1);
    EXPECT_EQ(At<std::uint16_t>(request, 14), 24);
    EXPECT_EQ(At<std::uint32_t>(request, 16), 0u);
    EXPECT_EQ(At<std::uint32_t>(request, 20), 331776u); // 1152-byte rows
    EXPECT_EQ(request.mid(24), QByteArray(16, '\0'));

    EXPECT_EQ(frames.FrameClass(), kClassRGB);
    const QByteArray& stream = frames.FrameStream();
    ASSERT_EQ(stream.size(), 331830);
    EXPECT_EQ(stream.left(2), "BM");
    EXPECT_EQ(At<std::uint32_t>(stream, 2), 331830u);
    EXPECT_EQ(At<std::uint32_t>(stream, 6), 0u); // both reserved fields
    EXPECT_EQ(At<std::uint32_t>(stream, 10), 54u);
    EXPECT_EQ(stream.mid(14, 40), request);
    EXPECT_EQ(frames.FramePixels(), reinterpret_cast<const std::uint8_t*>(stream.constData()) + 54);
}

TEST(FrameBufferTest, YuvFormatGetsA32BitHeader) {
    FakeDriver driver;
    driver.keepsItsFormat = true;
    driver.format = Format(640, 480, 16, kYUY2);
    FrameBuffer frames;
    frames.InitFrameBuffer(&driver);

    EXPECT_EQ(frames.FrameClass(), kClassYUY2);
    EXPECT_EQ(frames.DriverFormat(), driver.format);
    const BITMAPINFOHEADER header = ReadBitmapHeader(frames.FrameHeader());
    EXPECT_EQ(frames.FrameHeaderSize(), 40);
    EXPECT_EQ(header.biWidth, 640);
    EXPECT_EQ(header.biHeight, 480);
    EXPECT_EQ(header.biBitCount, 32);
    EXPECT_EQ(header.biCompression, 0u);
    EXPECT_EQ(header.biSizeImage, 1228800u);
    EXPECT_EQ(frames.FrameStream().size(), 1228854);
    EXPECT_EQ(At<std::uint32_t>(frames.FrameStream(), 10), 54u);
}

// A class-1 header longer than 40 bytes is copied whole; a later YUV format
// rewrites only its first 40 bytes and keeps the length.
TEST(FrameBufferTest, LongRgbHeaderIsCopiedAndItsLengthKept) {
    FakeDriver driver;
    driver.keepsItsFormat = true;
    const QByteArray masks("\x00\xF8\x00\x00\xE0\x07\x00\x00\x1F\x00\x00\x00", 12);
    driver.format = Format(64, 48, 16, 3, masks); // BI_BITFIELDS, 5-6-5
    FrameBuffer frames;
    frames.InitFrameBuffer(&driver);
    EXPECT_EQ(frames.FrameClass(), kClassRGB);
    EXPECT_EQ(frames.FrameHeader(), driver.format);
    EXPECT_EQ(At<std::uint32_t>(frames.FrameStream(), 10), 66u);
    EXPECT_EQ(frames.FrameStream().size(), 14 + 52 + 64 * 2 * 48);

    driver.format = Format(32, 16, 16, kYUY2);
    frames.ReadVideoFormat(&driver);
    EXPECT_EQ(frames.FrameHeaderSize(), 52);
    EXPECT_EQ(frames.FrameHeader().left(40), Format(32, 16, 32, 0));
    EXPECT_EQ(frames.FrameHeader().mid(40), masks);
    EXPECT_EQ(At<std::uint32_t>(frames.FrameStream(), 10), 66u);
    EXPECT_EQ(frames.FrameStream().size(), 14 + 52 + 32 * 4 * 16);
}

TEST(FrameBufferTest, UnknownFormatKeepsTheHeader) {
    FakeDriver driver;
    driver.keepsItsFormat = true;
    driver.format = Format(320, 240, 16, kYUY2);
    FrameBuffer frames;
    frames.InitFrameBuffer(&driver);
    const QByteArray before = frames.FrameHeader();

    driver.format = Format(640, 480, 24, 0x47504A4D); // MJPG
    frames.ReadVideoFormat(&driver);
    EXPECT_EQ(frames.FrameClass(), kClassUnknown);
    EXPECT_EQ(frames.FrameHeader(), before);
    EXPECT_EQ(frames.FrameStream().size(), 14 + 40 + 320 * 240 * 4);
}

TEST(FrameBufferTest, RgbWithoutImageSizeGetsOne) {
    FakeDriver driver;
    driver.keepsItsFormat = true;
    driver.format = Format(10, 3, 24, 0);
    driver.format.replace(20, 4, QByteArray(4, '\0'));
    FrameBuffer frames;
    frames.InitFrameBuffer(&driver);
    EXPECT_EQ(frames.FramePixelBytes(), 32u * 3); // rows of 30 bytes padded to 32
    EXPECT_EQ(frames.FrameStream().size(), 14 + 40 + 96);
    EXPECT_EQ(At<std::uint32_t>(frames.FrameStream(), 14 + 20), 96u);

    // Masks after the header, and top-down rows: the size counts the rows all the same.
    const QByteArray masks("\x00\xF8\0\0\xE0\x07\0\0\x1F\0\0\0", 12);
    driver.format = Format(5, -4, 16, 3, masks);
    driver.format.replace(20, 4, QByteArray(4, '\0'));
    frames.ReadVideoFormat(&driver);
    EXPECT_EQ(frames.FramePixelBytes(), 12u * 4);
    EXPECT_EQ(frames.FrameStream().size(), 14 + 52 + 48);
    EXPECT_EQ(frames.FrameStream().mid(14 + 40, 12), masks);
}

// A size that does not fit the memory the frames are written into is refused
// rather than wrapped around, and the last good format stays whole.
TEST(FrameBufferTest, ImpossibleFrameSizeIsAnErrorAndKeepsTheLastFormat) {
    FakeDriver driver;
    driver.keepsItsFormat = true;
    driver.format = Format(8, 4, 16, kYUY2);
    FrameBuffer frames;
    frames.ReadVideoFormat(&driver);
    const QByteArray good = frames.DriverFormat();
    const QByteArray stream = frames.FrameStream();
    QByteArray bad[] = {Format(65536, 65536 + 16, 16, kYUY2), // 2^34 bytes and a little more
                        Format(-640, 480, 16, kYUY2),
                        // An RGB format whose size is left to be worked out, far too large.
                        Format(1 << 30, 1 << 30, 32, 0), Format(20000, 20000, 32, 0)};
    bad[2].replace(20, 4, QByteArray(4, '\0'));
    for (const QByteArray& format : bad) {
        driver.format = format;
        EXPECT_THROW(frames.ReadVideoFormat(&driver), Error);
        EXPECT_EQ(frames.DriverFormat(), good);
        EXPECT_EQ(frames.FrameStream().size(), stream.size());
        EXPECT_EQ(frames.FrameStream().left(54), stream.left(54));
        EXPECT_EQ(frames.FramePixelBytes(), 8u * 4 * 4);
    }
}

TEST(FrameBufferTest, NoDriverNoWindowAndRelease) {
    FakeDriver driver;
    driver.connected = false;
    FrameBuffer frames;
    EXPECT_THROW(frames.InitFrameBuffer(&driver), Error);

    frames.InitFrameBuffer(nullptr); // no capture window: nothing happens
    frames.ReadVideoFormat(nullptr);
    EXPECT_EQ(frames.FramePixels(), nullptr);

    driver.connected = true;
    frames.InitFrameBuffer(&driver);
    ASSERT_NE(frames.FramePixels(), nullptr);
    frames.FreeFrameBuffer();
    EXPECT_EQ(frames.FramePixels(), nullptr);
    EXPECT_TRUE(frames.FrameStream().isEmpty());
    EXPECT_TRUE(frames.DriverFormat().isEmpty());
}

// A converted frame read back by a bitmap decoder: the first source row is
// the top of the picture, in the right colours.
TEST(FrameBufferTest, ConvertedFrameDecodesAsABitmap) {
    FakeDriver driver;
    driver.keepsItsFormat = true;
    driver.format = Format(4, 2, 16, kYUY2);
    FrameBuffer frames;
    frames.InitFrameBuffer(&driver);

    const std::uint8_t frame[] = {81,  90, 81,  240, 81,  90, 81,  240, // red-ish first row
                                  145, 54, 145, 34,  145, 54, 145, 34}; // green-ish second
    ASSERT_TRUE(ConvertFrame(frames.FrameClass(), frame, frames.FramePixels(), 4, 2));
    ASSERT_TRUE(frames.ReadFrameBitmap());
    const QImage& picture = frames.FrameBitmap();
    ASSERT_EQ(picture.size(), QSize(4, 2));
    const std::uint32_t top = YUVToRGB(81, 90, 240);
    const std::uint32_t bottom = YUVToRGB(145, 54, 34);
    EXPECT_EQ(picture.pixel(0, 0) & 0xFFFFFF, top);
    EXPECT_EQ(picture.pixel(3, 1) & 0xFFFFFF, bottom);
}

} // namespace
} // namespace vocalyn::video
