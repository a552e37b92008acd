#include "video/transport/VideoDatagram.h"

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
    const auto& ladder = video::QualityLadder::kQualities;
    const auto rung = std::find(ladder.begin(), ladder.end(), datagram.quality);
    ASSERT_NE(rung, ladder.end());
    ASSERT_NE(rung, ladder.begin());
    // The best quality that fits: the one above it does not.
    EXPECT_FALSE(Fits(picture, *(rung - 1)));
    EXPECT_EQ(Written(datagram), EncodeFile(picture, datagram.quality));
    EXPECT_LT(MeanDifference(decoder.Decode(BytesOf(Written(datagram))), picture), 12.0);

    // The next frame, alike, is tried first where this one fitted.
    const Writer::Datagram next = Write(NoisyPicture(640, 480, 12, 2));
    EXPECT_GT(next.size, 0u);
    EXPECT_LE(next.attempts, 2);
    EXPECT_LE(std::abs(next.quality - datagram.quality), 5);
}

TEST_F(VideoDatagramTest, AFrameThatFitsAtNoQualityIsDroppedAndTheNextOneGoes) {
    const QImage huge = NoisyPicture(1600, 1200, 120);
    const Writer::Datagram dropped = Write(huge);
    EXPECT_EQ(dropped.size, 0u);
    EXPECT_EQ(dropped.quality, 0);
    // At 90, then at the lowest quality, which the size at 90 already said would not fit.
    EXPECT_EQ(dropped.attempts, 2);
    EXPECT_FALSE(Fits(huge, video::QualityLadder::kQualities.back()));

    const QImage small = NoisyPicture(160, 120, 5);
    const Writer::Datagram next = Write(small);
    EXPECT_EQ(next.quality, 90);
    EXPECT_EQ(Written(next), EncodeFile(small, 90));
}

// Very noisy frames, then less noisy ones, so that the best quality that fits drops several
// steps and then comes back part of the way, where the smaller files of the quality below it
// still fill most of a datagram: each frame goes at the best quality that fits, as an encode
// at every quality finds it, in little more than one encode on average. A better quality tried
// in vain leaves the file of the one that fits in place, and a buffer of one datagram alone
// gives the same files with more encodes.
TEST_F(VideoDatagramTest, ASequenceGoesAtTheBestQualityThatFitsInAboutOneEncode) {
    constexpr int kFrames = 24;
    std::vector<QImage> frames;
    std::vector<int> best;
    for (int n = 0; n < kFrames; ++n) {
        frames.push_back(NoisyPicture(640, 480, n < 6 ? 40 : 26, unsigned(n)));
        const auto& ladder = video::QualityLadder::kQualities;
        const auto fits = std::find_if(ladder.begin(), ladder.end(),
                                       [&](int quality) { return Fits(frames.back(), quality); });
        best.push_back(fits == ladder.end() ? 0 : *fits);
    }
    ASSERT_LT(best.front(), best.back() - 5) << "the sequence must move along the ladder";

    Writer narrow;
    std::vector<std::uint8_t> oneDatagram(kMaxVideoDatagram);
    int encodes = 0, narrowEncodes = 0;
    for (int n = 0; n < kFrames; ++n) {
        SCOPED_TRACE(n);
        const Writer::Datagram datagram = Write(frames[n]);
        EXPECT_EQ(datagram.quality, best[n]);
        EXPECT_EQ(Written(datagram), EncodeFile(frames[n], datagram.quality));
        encodes += datagram.attempts;

        const Writer::Datagram same = narrow.Write(encoder, ViewOf(frames[n]), oneDatagram);
        EXPECT_EQ(same.quality, datagram.quality);
        EXPECT_EQ(
            QByteArray(reinterpret_cast<const char*>(oneDatagram.data()), qsizetype(same.size)),
            Written(datagram));
        narrowEncodes += same.attempts;
    }
    EXPECT_LE(encodes, kFrames * 14 / 10);
    EXPECT_GE(narrowEncodes, encodes);
}

// Budgets from a lossy line: each frame goes at the best quality within the budget, and one
// that is over it even at the lowest quality still goes at that quality, whole and readable.
TEST_F(VideoDatagramTest, ABudgetKeepsFramesWithinItOrAtTheLowestQuality) {
    const QImage picture = NoisyPicture(352, 288, 10);
    const auto& ladder = video::QualityLadder::kQualities;
    std::vector<std::uint8_t> room(kMaxVideoDatagram);
    const std::size_t atBest = encoder.Encode(ViewOf(picture), ladder.front(), room).size;
    const std::size_t atLowest = encoder.Encode(ViewOf(picture), ladder.back(), room).size;
    ASSERT_GT(atBest, 3 * atLowest);
    for (const std::size_t budget :
         {atBest, (atBest + atLowest) / 2, atLowest - 1, std::size_t{1}}) {
        SCOPED_TRACE(budget);
        writer.SetBudget(budget);
        const Writer::Datagram datagram = Write(picture);
        ASSERT_GT(datagram.size, 0u);
        EXPECT_EQ(Written(datagram), EncodeFile(picture, datagram.quality));
        if (budget < atLowest) {
            EXPECT_EQ(datagram.quality, ladder.back());
            continue;
        }
        EXPECT_LE(datagram.size, budget);
        const auto rung = std::find(ladder.begin(), ladder.end(), datagram.quality);
        ASSERT_NE(rung, ladder.end());
        if (rung != ladder.begin()) {
            EXPECT_GT(EncodeFile(picture, *(rung - 1)).size(), qsizetype(budget));
        }
    }
    // A clean line again: back to the best quality.
    writer.SetBudget(kMaxVideoDatagram);
    EXPECT_EQ(Write(picture).quality, ladder.front());
}

} // namespace
} // namespace vocalyn::test
