#include "video/conversion/FrameBuffer.h"

#include "base/Error.h"
#include "video/conversion/VideoFormatSource.h"
#include "video/conversion/YUVConverters.h"

#include <gtest/gtest.h>

#include <QtEndian>

#include <cstring>
#include <functional>
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
const QByteArray kMasks565("\x00\xF8\0\0\xE0\x07\0\0\x1F\0\0\0", 12);

// The bytes of a frame and its description as a capture service hands it on.
struct Frame {
    std::vector<std::uint8_t> bytes;
    CameraFrame frame;
};

Frame FrameFor(const QByteArray& format, std::size_t size, std::uint8_t fill = 0) {
    Frame f{std::vector<std::uint8_t>(size, fill), {}};
    f.frame = DescribeFrame(ReadBitmapHeader(format), f.bytes);
    return f;
}

TEST(FrameBufferTest, RequestsRgb384x288AndReadsTheFormatOnce) {
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

    EXPECT_EQ(frames.DriverFormat(), request);
    const FrameFormat& format = frames.format();
    EXPECT_EQ(frames.FrameClass(), kClassRGB);
    EXPECT_EQ(format.reading, FrameFormat::Reading::Direct);
    EXPECT_TRUE(format.bottomUp);
    EXPECT_EQ(format.rowBytes, 1152u);
    EXPECT_EQ(format.frameBytes, 331776u);
}

// What each kind of driver format reads as: how its frames become a picture, and their size.
TEST(FrameBufferTest, EachFormatIsReadOnceIntoHowItsFramesArePictured) {
    using Reading = FrameFormat::Reading;
    const auto noSize = [](QByteArray format) {
        return format.replace(20, 4, QByteArray(4, '\0'));
    };
    QByteArray indexed = Format(4, 2, 8, 0);
    indexed.replace(32, 4, QByteArray("\x02\0\0\0", 4)); // two colours
    indexed += QByteArray("\x10\x20\x30\x00\x40\x50\x60\x00", 8);
    struct Row {
        QByteArray format;
        int frameClass;
        Reading reading;
        std::size_t frameBytes;
        bool bottomUp;
    } const rows[] = {
        {Format(640, 480, 16, kYUY2), kClassYUY2, Reading::Converted, 614400, true},
        {Format(64, 48, 16, 3, kMasks565), kClassRGB, Reading::Masked, 64 * 2 * 48, true},
        {Format(64, 48, 16, 0), kClassRGB, Reading::Masked, 64 * 2 * 48, true}, // 5-5-5
        {Format(64, 48, 32, 3, kMasks565), kClassRGB, Reading::Masked, 64 * 4 * 48, true},
        {Format(64, 48, 16, 3), kClassRGB, Reading::Unreadable, 64 * 2 * 48, true}, // no masks
        // Uncompressed formats may leave the size 0: rows of 30 bytes padded to 32.
        {noSize(Format(10, 3, 24, 0)), kClassRGB, Reading::Direct, 96, true},
        {noSize(Format(5, -4, 16, 3, kMasks565)), kClassRGB, Reading::Masked, 48, false},
        {indexed, kClassRGB, Reading::Indexed, 8, true},
        {Format(4, 2, 8, 0), kClassRGB, Reading::Unreadable, 8, true}, // no colour table
        {Format(64, 48, 15, 0), kClassRGB, Reading::Unreadable, 120 * 48, true},
        {Format(64, 48, 64, 0), kClassRGB, Reading::Unreadable, 64 * 8 * 48, true},
        {Format(640, 480, 24, 0x47504A4D), kClassUnknown, Reading::None, 0, true}, // MJPG
    };
    FakeDriver driver;
    driver.keepsItsFormat = true;
    FrameBuffer frames;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.format.toHex().toStdString());
        driver.format = row.format;
        frames.ReadVideoFormat(&driver);
        EXPECT_EQ(frames.DriverFormat(), row.format);
        EXPECT_EQ(frames.FrameClass(), row.frameClass);
        EXPECT_EQ(frames.format().reading, row.reading);
        EXPECT_EQ(frames.format().readable(), row.reading != Reading::Unreadable);
        EXPECT_EQ(frames.format().frameBytes, row.frameBytes);
        EXPECT_EQ(frames.format().bottomUp, row.bottomUp);
    }
}

// A size that does not fit the memory frames are converted into is refused rather than
// wrapped around, and the last good format stays whole.
TEST(FrameBufferTest, ImpossibleFrameSizeIsAnErrorAndKeepsTheLastFormat) {
    FakeDriver driver;
    driver.keepsItsFormat = true;
    driver.format = Format(8, 4, 16, kYUY2);
    FrameBuffer frames;
    frames.ReadVideoFormat(&driver);
    const QByteArray good = frames.DriverFormat();
    QByteArray bad[] = {Format(65536, 65536 + 16, 16, kYUY2), // 2^34 bytes and a little more
                        Format(-640, 480, 16, kYUY2),
                        // An RGB format whose size is left to be worked out, far too large.
                        Format(1 << 30, 1 << 30, 32, 0), Format(20000, 20000, 32, 0)};
    bad[2].replace(20, 4, QByteArray(4, '\0'));
    const Frame frame = FrameFor(good, 8 * 2 * 4);
    for (const QByteArray& format : bad) {
        driver.format = format;
        EXPECT_THROW(frames.ReadVideoFormat(&driver), Error);
        EXPECT_EQ(frames.DriverFormat(), good);
        EXPECT_EQ(frames.format().frameBytes, 8u * 2 * 4);
        EXPECT_EQ(frames.Picture(frame.frame).width, 8);
    }
}

TEST(FrameBufferTest, NoDriverNoWindowAndRelease) {
    FakeDriver driver;
    driver.connected = false;
    FrameBuffer frames;
    EXPECT_THROW(frames.InitFrameBuffer(&driver), Error);

    frames.InitFrameBuffer(nullptr); // no capture window: nothing happens
    frames.ReadVideoFormat(nullptr);
    EXPECT_TRUE(frames.DriverFormat().isEmpty());

    driver.connected = true;
    frames.InitFrameBuffer(&driver);
    const Frame frame = FrameFor(driver.format, 331776);
    ASSERT_TRUE(frames.Accepts(frame.frame));
    frames.FreeFrameBuffer();
    EXPECT_FALSE(frames.Accepts(frame.frame));
    EXPECT_TRUE(frames.Picture(frame.frame).empty());
    EXPECT_TRUE(frames.DriverFormat().isEmpty());
}

// Only whole frames of the current format are taken: a frame from before a format change, or
// one that would be read past its end, has no picture.
TEST(FrameBufferTest, OnlyWholeFramesOfTheCurrentFormatAreAccepted) {
    FakeDriver driver;
    driver.keepsItsFormat = true;
    FrameBuffer frames;
    struct Row {
        const char* what;
        QByteArray format;
        std::function<void(CameraFrame&)> change;
        bool accepted;
    } const rows[] = {
        {"as described", Format(8, 4, 16, kYUY2), [](CameraFrame&) {}, true},
        {"wider rows", Format(8, 4, 16, kYUY2),
         [](CameraFrame& f) {
             f.stride = 20;
             f.bytes = 3 * 20 + 16;
         },
         true},
        {"short", Format(8, 4, 16, kYUY2), [](CameraFrame& f) { --f.bytes; }, false},
        {"narrow rows", Format(8, 4, 16, kYUY2), [](CameraFrame& f) { f.stride = 14; }, false},
        {"other size", Format(8, 4, 16, kYUY2), [](CameraFrame& f) { f.height = 2; }, false},
        {"other code", Format(8, 4, 16, kYUY2), [](CameraFrame& f) { f.format = 0; }, false},
        {"no bytes", Format(8, 4, 16, kYUY2), [](CameraFrame& f) { f.pixels = nullptr; }, false},
        {"planar, padded", Format(8, 4, 12, 0x30323449), [](CameraFrame& f) { f.stride = 12; },
         false},
        // The last row needs no padding behind it.
        {"rgb, last row tight", Format(7, 3, 24, 0), [](CameraFrame& f) { f.bytes = 24 * 2 + 21; },
         true},
        {"rgb, short", Format(7, 3, 24, 0), [](CameraFrame& f) { f.bytes = 24 * 2 + 20; }, false},
        {"class 0", Format(8, 4, 24, 0x47504A4D), [](CameraFrame&) {}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        driver.format = row.format;
        frames.ReadVideoFormat(&driver);
        Frame frame = FrameFor(row.format, 256);
        frame.frame.bytes = frames.format().frameBytes; // a whole frame, no more
        row.change(frame.frame);
        EXPECT_EQ(frames.Accepts(frame.frame), row.accepted);
        EXPECT_EQ(frames.Picture(frame.frame).empty(), !row.accepted);
    }
}

// A converted frame's picture, top row first: the first source row on top, in the right colours.
TEST(FrameBufferTest, ConvertedFramePictureHasTheFirstRowOnTop) {
    FakeDriver driver;
    driver.keepsItsFormat = true;
    driver.format = Format(4, 2, 16, kYUY2);
    FrameBuffer frames;
    frames.InitFrameBuffer(&driver);

    const std::uint8_t frame[] = {81,  90, 81,  240, 81,  90, 81,  240, // red-ish first row
                                  145, 54, 145, 34,  145, 54, 145, 34}; // green-ish second
    const PictureView picture =
        frames.Picture(DescribeFrame(ReadBitmapHeader(driver.format), frame));
    ASSERT_EQ(picture.width, 4);
    ASSERT_EQ(picture.height, 2);
    ASSERT_EQ(picture.stride, 16);
    EXPECT_EQ(picture.layout, PixelLayout::BGRX);
    std::uint32_t top = 0, bottom = 0;
    std::memcpy(&top, picture.top, 4);
    std::memcpy(&bottom, picture.top + picture.stride + 12, 4);
    EXPECT_EQ(top, YUVToRGB(81, 90, 240));
    EXPECT_EQ(bottom, YUVToRGB(145, 54, 34));
}

} // namespace
} // namespace vocalyn::video
