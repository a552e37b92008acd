#include "video/transport/JpegCodec.h"

#include "tests/fakes/FakeCapture.h"
#include "tests/video/PictureSupport.h"

#include <gtest/gtest.h>

#include <QTransform>

namespace vocalyn::test {
namespace {

using video::JpegDecoder;
using video::JpegEncoder;
using video::JpegLimits;
using video::PictureView;
using video::PixelLayout;

QImage Pattern(int width = 384, int height = 288, int frame = 7) {
    return fakes::FakeCaptureService::PatternImage(width, height, frame)
        .convertToFormat(QImage::Format_RGB888);
}

// Offsets of the markers that start a frame (SOFn) in a JPEG file.
QList<int> FrameMarkers(const QByteArray& file) {
    QList<int> markers;
    for (qsizetype i = 0; i + 1 < file.size(); ++i) {
        const auto code = static_cast<std::uint8_t>(file[i + 1]);
        if (static_cast<std::uint8_t>(file[i]) == 0xFF && code >= 0xC0 && code <= 0xCF &&
            code != 0xC4 && code != 0xC8 && code != 0xCC)
            markers << code;
    }
    return markers;
}

TEST(JpegEncoder, WritesOneBaselineFileCloseToThePicture) {
    const QImage picture = Pattern();
    const QByteArray file = EncodeFile(picture);
    ASSERT_GT(file.size(), 4);
    EXPECT_TRUE(file.startsWith("\xFF\xD8"));
    EXPECT_TRUE(file.endsWith("\xFF\xD9"));
    EXPECT_EQ(FrameMarkers(file), QList<int>{0xC0}); // one baseline frame, nothing progressive
    // Qt's reader as an independent check of the file.
    const QImage decoded = QImage::fromData(file, "JPEG");
    EXPECT_LT(MeanDifference(decoded, picture), 3.0);
}

TEST(JpegEncoder, EveryPixelLayoutGivesTheFileOfTheRgbPicture) {
    const QImage rgb = Pattern(100, 37); // odd sizes: padded rows, a partial block row
    const QByteArray reference = EncodeFile(rgb);
    // The same picture as a capture driver lays it out: bottom-up rows, blue first.
    const QImage bgr = rgb.rgbSwapped().mirrored(false, true);
    const QImage bgrx = rgb.convertToFormat(QImage::Format_RGB32).mirrored(false, true);
    const auto rowBytes24 = bgr.bytesPerLine();
    const PictureView views[] = {
        {bgr.constBits() + (bgr.height() - 1) * rowBytes24, bgr.width(), bgr.height(), -rowBytes24,
         PixelLayout::BGR},
        {bgrx.constBits() + (bgrx.height() - 1) * bgrx.bytesPerLine(), bgrx.width(), bgrx.height(),
         -bgrx.bytesPerLine(), PixelLayout::BGRX},
    };
    JpegEncoder encoder;
    std::vector<std::uint8_t> out(200000);
    for (const PictureView& view : views) {
        const JpegEncoder::Result result = encoder.Encode(view, 90, out);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(result.size)),
                  reference)
            << "layout " << int(view.layout);
    }
}

TEST(JpegEncoder, ReportsAFullOutputAndThenEncodesAsNew) {
    const QImage noisy = NoisyPicture(320, 240, 40);
    JpegEncoder encoder;
    std::vector<std::uint8_t> small(2000), large(400000);
    const JpegEncoder::Result full = encoder.Encode(ViewOf(noisy), 90, small);
    EXPECT_EQ(full.size, 0u);
    EXPECT_TRUE(full.tooLong);
    const JpegEncoder::Result whole = encoder.Encode(ViewOf(noisy), 90, large);
    EXPECT_FALSE(whole.tooLong);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(large.data()), qsizetype(whole.size)),
              EncodeFile(noisy));
    EXPECT_EQ(encoder.Encode({}, 90, large).size, 0u);
}

TEST(JpegDecoder, DecodesColourGreyAndProgressiveToOpaqueRgb) {
    const QImage picture = Pattern();
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    JpegDecoder decoder;
    struct Case {
        const char* name;
        QByteArray file;
        QImage expected;
    } cases[] = {{"ours", EncodeFile(picture), picture},
                 {"grey", QtJpeg(grey), grey},
                 {"progressive", QtJpeg(picture, true), picture}};
    for (const Case& c : cases) {
        const QImage decoded = decoder.Decode(BytesOf(c.file));
        ASSERT_EQ(decoded.format(), QImage::Format_RGB32) << c.name;
        EXPECT_LT(MeanDifference(decoded, c.expected), 3.0) << c.name;
        bool opaque = true, neutral = true;
        for (int y = 0; y < decoded.height(); y += 7)
            for (int x = 0; x < decoded.width(); x += 5) {
                const QRgb pixel = decoded.pixel(x, y);
                opaque = opaque &&
                         qAlpha(reinterpret_cast<const QRgb*>(decoded.constScanLine(y))[x]) == 255;
                neutral = neutral && qRed(pixel) == qGreen(pixel) && qGreen(pixel) == qBlue(pixel);
            }
        EXPECT_TRUE(opaque) << c.name;
        EXPECT_EQ(neutral, c.expected.isGrayscale()) << c.name;
    }
}

TEST(JpegDecoder, RefusesFilesBeyondItsLimits) {
    const QImage wide = Pattern(4097, 16), widest = Pattern(4096, 16), tall = Pattern(16, 4097);
    const QImage picture = Pattern(640, 480);
    const QByteArray progressive = QtJpeg(picture, true); // ten scans
    const QByteArray baseline = EncodeFile(picture);
    const std::size_t pictureBytes = 640 * 480 * 4;

    JpegDecoder decoder;
    EXPECT_TRUE(decoder.Decode(BytesOf(EncodeFile(wide))).isNull());
    EXPECT_TRUE(decoder.Decode(BytesOf(EncodeFile(tall))).isNull());
    EXPECT_EQ(decoder.Decode(BytesOf(EncodeFile(widest))).size(), QSize(4096, 16));
    EXPECT_FALSE(decoder.Decode(BytesOf(progressive)).isNull());

    JpegDecoder fewScans(JpegLimits{.maxScans = 4});
    EXPECT_TRUE(fewScans.Decode(BytesOf(progressive)).isNull());
    EXPECT_FALSE(fewScans.Decode(BytesOf(baseline)).isNull());

    // Room for the picture but not for the whole-image buffers a progressive file needs.
    JpegDecoder tight(JpegLimits{.maxMemory = pictureBytes + 200000});
    EXPECT_FALSE(tight.Decode(BytesOf(baseline)).isNull());
    EXPECT_TRUE(tight.Decode(BytesOf(progressive)).isNull());
    JpegDecoder tiny(JpegLimits{.maxMemory = pictureBytes});
    EXPECT_TRUE(tiny.Decode(BytesOf(baseline)).isNull());
}

TEST(JpegDecoder, DropsDamagedFilesAndGoesOn) {
    const QImage picture = Pattern();
    const QByteArray good = EncodeFile(picture);
    QByteArray zeroWidth = good;
    const qsizetype sof = good.indexOf("\xFF\xC0");
    zeroWidth[sof + 7] = 0; // the frame header's width
    zeroWidth[sof + 8] = 0;
    QByteArray badTable = good;
    badTable[good.indexOf("\xFF\xC4") + 4] = char(0xFF); // a Huffman table with absurd counts
    const QByteArray damaged[] = {
        QByteArray(),
        QByteArray("not a picture"),
        good.left(2),
        good.left(good.size() / 2), // ends in the middle of the picture
        good.left(sof + 4),         // ends in the middle of a header
        zeroWidth,
        badTable,
        good.left(good.size() - 2) + QByteArray(600, '\x55') + "\xFF\xD9",
    };
    JpegDecoder decoder;
    for (const QByteArray& file : damaged) {
        EXPECT_TRUE(decoder.Decode(BytesOf(file)).isNull()) << file.size();
        EXPECT_LT(MeanDifference(decoder.Decode(BytesOf(good)), picture), 3.0);
    }
}

} // namespace
} // namespace vocalyn::test
