#include "video/VideoDatagram.h"

#include "tests/fakes/FakeCapture.h"
#include "tests/video/PictureSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vocalyn::test {
namespace {

using video::JpegDecoder;
using video::JpegEncoder;
using video::kMaxVideoDatagram;
using video::VideoDatagramWriter;
using Writer = VideoDatagramWriter;

class VideoDatagramTest : public ::testing::Test {
protected:
    Writer::Datagram Write(const QImage& picture) {
        return writer.Write(encoder, ViewOf(picture), buffer);
    }
    QByteArray Written(const Writer::Datagram& datagram) const {
        return QByteArray(reinterpret_cast<const char*>(buffer.data()), qsizetype(datagram.size));
    }
    // Whether the picture's JPEG at a quality fits one datagram on its own.
    bool Fits(const QImage& picture, int quality) {
        std::vector<std::uint8_t> room(kMaxVideoDatagram);
        return encoder.Encode(ViewOf(picture), quality, room).size > 0;
    }

    JpegEncoder encoder;
    JpegDecoder decoder;
    Writer writer;
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(524288);
};

TEST_F(VideoDatagramTest, AFrameThatFitsTravelsAtNinety) {
    const QImage picture =
        fakes::FakeCaptureService::PatternImage(384, 288, 3).convertToFormat(QImage::Format_RGB888);
    const Writer::Datagram datagram = Write(picture);
    EXPECT_EQ(datagram.quality, 90);
    EXPECT_EQ(datagram.attempts, 1);
    EXPECT_EQ(Written(datagram), EncodeFile(picture, 90));
}

TEST_F(VideoDatagramTest, AFrameTooLongAtNinetyTravelsWholeAtTheBestQualityThatFits) {
    const QImage picture = NoisyPicture(640, 480, 12);
    ASSERT_FALSE(Fits(picture, 90)) << "the picture must be too long for one datagram at 90";

    const Writer::Datagram datagram = Write(picture);
    ASSERT_GT(datagram.size, 0u);
    EXPECT_LE(datagram.size, kMaxVideoDatagram);
    EXPECT_LT(datagram.quality, 90);
    const auto& ladder = Writer::kFallbackQualities;
    const auto rung = std::find(ladder.begin(), ladder.end(), datagram.quality);
    ASSERT_NE(rung, ladder.end());
    // The first search starts at the top, so the quality above the one used did not fit.
    EXPECT_FALSE(Fits(picture, rung == ladder.begin() ? 90 : *(rung - 1)));
    EXPECT_EQ(Written(datagram), EncodeFile(picture, datagram.quality));
    EXPECT_LT(MeanDifference(decoder.Decode(BytesOf(Written(datagram))), picture), 12.0);

    // The next frame, alike, starts its search where this one fitted.
    const Writer::Datagram next = Write(NoisyPicture(640, 480, 12, 2));
    EXPECT_GT(next.size, 0u);
    EXPECT_LE(next.attempts, 3);
    EXPECT_LE(std::abs(next.quality - datagram.quality), 5);
}

TEST_F(VideoDatagramTest, AFrameThatFitsAtNoQualityIsDroppedAndTheNextOneGoes) {
    const QImage huge = NoisyPicture(1600, 1200, 120);
    const Writer::Datagram dropped = Write(huge);
    EXPECT_EQ(dropped.size, 0u);
    EXPECT_EQ(dropped.attempts, 1 + int(Writer::kFallbackQualities.size()));

    const QImage small = NoisyPicture(160, 120, 5);
    EXPECT_EQ(Write(small).quality, 90);
}

} // namespace
} // namespace vocalyn::test
