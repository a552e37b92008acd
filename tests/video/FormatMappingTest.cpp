// The V4L2 side of the capture service that needs no device: how its formats
// read as format blocks and back, and how frames are laid out for the
// converters.
#include "video/capture/v4l2/FormatMapping.h"
#include "video/capture/v4l2/PreviewPacer.h"
#include "video/conversion/FormatCodes.h"
#include "video/conversion/YUVConverters.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <vector>

using namespace vocalyn::video;
using namespace vocalyn::video::v4l2;

namespace {

v4l2_pix_format Pix(std::uint32_t pixelFormat, std::uint32_t width, std::uint32_t height,
                    std::uint32_t bytesPerLine = 0, std::uint32_t sizeImage = 0) {
    v4l2_pix_format pix{};
    pix.pixelformat = pixelFormat;
    pix.width = width;
    pix.height = height;
    pix.bytesperline = bytesPerLine;
    pix.sizeimage = sizeImage;
    return pix;
}

std::span<const std::uint8_t> Bytes(const std::vector<std::uint8_t>& bytes) {
    return {bytes.data(), bytes.size()};
}

} // namespace

TEST(FormatMapping, DeviceFormatsReadAsTheCodesTheConvertersKnow) {
    struct Row {
        std::uint32_t pixelFormat;
        std::uint32_t width, height;
        std::uint32_t compression;
        std::uint16_t bits;
        std::uint32_t sizeImage;
        int frameClass;
    };
    const Row rows[] = {
        {V4L2_PIX_FMT_YUYV, 640, 480, FourCC('Y', 'U', 'Y', '2'), 16, 614400, kClassYUY2},
        {V4L2_PIX_FMT_UYVY, 640, 480, FourCC('U', 'Y', 'V', 'Y'), 16, 614400, kClassUYVY},
        {V4L2_PIX_FMT_YUV420, 7, 5, FourCC('I', '4', '2', '0'), 12, 35 + 2 * 4 * 3, kClassI420},
        {V4L2_PIX_FMT_GREY, 7, 5, FourCC('Y', '8', ' ', ' '), 8, 35, kClassY8},
        {V4L2_PIX_FMT_Y41P, 9, 2, FourCC('Y', '4', '1', 'P'), 12, 2 * 12 * 2, kClassY41P},
        {V4L2_PIX_FMT_YVU410, 9, 5, FourCC('Y', 'V', 'U', '9'), 9, 45 + 2 * 3 * 2, kClassYVU9},
        // 24-bit rows padded to whole 32-bit words: 7 * 3 = 21 -> 24 bytes.
        {V4L2_PIX_FMT_BGR24, 7, 5, kBI_RGB, 24, 24 * 5, kClassRGB},
        {V4L2_PIX_FMT_RGB24, 384, 288, kBI_RGB, 24, 331776, kClassRGB},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.compression);
        const BITMAPINFOHEADER format =
            FormatFromPixFormat(Pix(row.pixelFormat, row.width, row.height));
        EXPECT_EQ(format.biWidth, static_cast<std::int32_t>(row.width));
        // RGB rows are top-down as the device has them: a negative height.
        const auto rows = static_cast<std::int32_t>(row.height);
        EXPECT_EQ(format.biHeight, row.frameClass == kClassRGB ? -rows : rows);
        EXPECT_EQ(format.biCompression, row.compression);
        EXPECT_EQ(format.biBitCount, row.bits);
        EXPECT_EQ(format.biSizeImage, row.sizeImage);
        EXPECT_EQ(ClassifyFormat(format.biCompression), row.frameClass);
        // And back: asking for what the device reported gets the same format,
        // except that either RGB order comes back as the one plain RGB is.
        const std::uint32_t back =
            row.pixelFormat == V4L2_PIX_FMT_RGB24 ? V4L2_PIX_FMT_BGR24 : row.pixelFormat;
        EXPECT_EQ(PixelFormatFor(format), back);
    }
}

TEST(FormatMapping, CompressedAndUnknownFormatsKeepTheirOwnCodeAndAreNotConverted) {
    const BITMAPINFOHEADER mjpeg =
        FormatFromPixFormat(Pix(V4L2_PIX_FMT_MJPEG, 640, 480, 0, 200000));
    EXPECT_EQ(mjpeg.biCompression, FourCC('M', 'J', 'P', 'G'));
    EXPECT_EQ(mjpeg.biSizeImage, 200000u);
    EXPECT_EQ(ClassifyFormat(mjpeg.biCompression), kClassUnknown);
    EXPECT_EQ(PixelFormatFor(mjpeg), V4L2_PIX_FMT_MJPEG);

    const BITMAPINFOHEADER nv12 = FormatFromPixFormat(Pix(V4L2_PIX_FMT_NV12, 64, 48, 64, 4608));
    EXPECT_EQ(nv12.biCompression, V4L2_PIX_FMT_NV12);
    EXPECT_EQ(ClassifyFormat(nv12.biCompression), kClassUnknown);
}

TEST(FormatMapping, RequestsNameTheDeviceFormatOrNone) {
    const auto request = [](std::uint32_t compression, std::uint16_t bits = 0) {
        return PixelFormatFor(FormatHeader(384, 288, bits, compression, 0));
    };
    EXPECT_EQ(request(kBI_RGB, 24), V4L2_PIX_FMT_BGR24); // what the program asks for at start
    EXPECT_EQ(request(FourCC('I', 'Y', 'U', 'V')), V4L2_PIX_FMT_YUV420);
    EXPECT_EQ(request(FourCC('Y', '8', '0', '0')), V4L2_PIX_FMT_GREY);
    EXPECT_EQ(request(FourCC('Y', 'U', 'Y', 'V')), V4L2_PIX_FMT_YUYV);
    EXPECT_EQ(request(kBI_RGB, 16), std::nullopt);
    EXPECT_EQ(request(kBI_RGB, 8), std::nullopt);
    EXPECT_EQ(request(kBI_BITFIELDS, 16), std::nullopt);
    EXPECT_EQ(request(1, 8), std::nullopt); // run-length encoded
}

TEST(FrameLayout, RgbRowsStayTopDownPaddedAndInBlueGreenRedOrder) {
    // 3 x 2 pixels, device rows 10 bytes apart (one byte of padding).
    std::vector<std::uint8_t> device = {
        1,  2,  3,  4,  5,  6,  7,  8,  9,  0xEE, // top row
        11, 12, 13, 14, 15, 16, 17, 18, 19, 0xEE, // bottom row
    };
    std::vector<std::uint8_t> scratch;

    const auto bgr = PackFrame(Pix(V4L2_PIX_FMT_BGR24, 3, 2, 10), Bytes(device), scratch);
    const std::vector<std::uint8_t> bgrExpected = {
        1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0, // top row first, to 12 bytes
        11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0,
    };
    EXPECT_EQ(std::vector(bgr.begin(), bgr.end()), bgrExpected);

    const auto rgb = PackFrame(Pix(V4L2_PIX_FMT_RGB24, 3, 2, 10), Bytes(device), scratch);
    const std::vector<std::uint8_t> rgbExpected = {
        3,  2,  1,  6,  5,  4,  9,  8,  7,  0, 0, 0, //
        13, 12, 11, 16, 15, 14, 19, 18, 17, 0, 0, 0,
    };
    EXPECT_EQ(std::vector(rgb.begin(), rgb.end()), rgbExpected);

    // A buffer left over from another frame of the same size keeps nothing of it.
    std::fill(scratch.begin(), scratch.end(), 0xAB);
    const auto again = PackFrame(Pix(V4L2_PIX_FMT_BGR24, 3, 2, 10), Bytes(device), scratch);
    EXPECT_EQ(std::vector(again.begin(), again.end()), bgrExpected);

    // Rows already as the format lays them out: the device's own bytes, not a copy.
    const std::vector<std::uint8_t> aligned(12 * 2, 5);
    const auto direct = PackFrame(Pix(V4L2_PIX_FMT_BGR24, 3, 2, 12), Bytes(aligned), scratch);
    EXPECT_EQ(direct.data(), aligned.data());
    EXPECT_EQ(direct.size(), 24u);

    device.resize(18); // the last row cut short
    EXPECT_TRUE(PackFrame(Pix(V4L2_PIX_FMT_BGR24, 3, 2, 10), Bytes(device), scratch).empty());
}

TEST(FrameLayout, YuvFramesPassAsTheyAreOrLoseTheirRowPadding) {
    std::vector<std::uint8_t> scratch;
    // Tight YUYV rows: the device's own bytes, not a copy.
    std::vector<std::uint8_t> tight(2 * 2 * 2, 7);
    const auto same = PackFrame(Pix(V4L2_PIX_FMT_YUYV, 2, 2, 4), Bytes(tight), scratch);
    EXPECT_EQ(same.data(), tight.data());
    EXPECT_EQ(same.size(), 8u);

    // YUYV rows 6 bytes apart for 4 bytes of pixels.
    const std::vector<std::uint8_t> padded = {1, 2, 3, 4, 0, 0, 5, 6, 7, 8};
    const auto packed = PackFrame(Pix(V4L2_PIX_FMT_YUYV, 2, 2, 6), Bytes(padded), scratch);
    EXPECT_EQ(std::vector(packed.begin(), packed.end()),
              (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));

    // I420 4 x 2 with luma rows 6 apart: chroma rows are 3 apart.
    const std::vector<std::uint8_t> planar = {
        1,  2,  3, 4, 0, 0, 5, 6, 7, 8, 0, 0, // Y
        9,  10, 0,                            // U
        11, 12,                               // V, its padding cut off at the end
    };
    const auto i420 = PackFrame(Pix(V4L2_PIX_FMT_YUV420, 4, 2, 6), Bytes(planar), scratch);
    EXPECT_EQ(std::vector(i420.begin(), i420.end()),
              (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));

    const std::vector<std::uint8_t> shortFrame(5, 0);
    EXPECT_TRUE(PackFrame(Pix(V4L2_PIX_FMT_GREY, 3, 2, 3), Bytes(shortFrame), scratch).empty());
}

TEST(PreviewPacer, LetsThroughOneFramePerPeriodWithoutLosingFramesToJitter) {
    PreviewPacer pacer;
    pacer.SetPeriod(33);
    int passed = 0;
    int last_ms = -1000;
    for (int frame = 0; frame < 60; ++frame) { // a second of a 60-frame camera
        const int now_ms = frame * 1000 / 60;
        if (pacer.Due(now_ms)) {
            ++passed;
            EXPECT_GE(now_ms - last_ms, 25);
            last_ms = now_ms;
        }
    }
    EXPECT_NEAR(passed, 1000 / 33, 1);

    pacer.Reset();
    passed = 0;
    for (int frame = 0; frame < 30; ++frame) // 30 frames a second, each a little off
        passed += pacer.Due(frame * 1000 / 30 + (frame % 2 ? -4 : 4));
    EXPECT_EQ(passed, 30);
}
