// What a received video datagram may cost: files that no copy writes are refused from their
// headers in microseconds, frames above the size bound likewise, and decoding as a whole keeps
// to its share of the main thread.
#include "video/transport/DecodeBudget.h"
#include "video/transport/VideoDatagram.h"
#include "video/transport/VideoTransport.h"

#include "tests/video/CraftedJpeg.h"
#include "tests/video/PictureSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <thread>

namespace vocalyn::test {
namespace {

using namespace std::chrono_literals;
using video::DecodeBudget;
using video::JpegDecoder;
using video::kMaxVideoDatagram;
using video::kVideoDatagramLimits;
using Kind = CraftedKind;

struct Crafted {
    const char* name;
    QByteArray file;
};

// Each kind of file a copy never sends, small enough for any decoder.
std::vector<Crafted> SmallForeignFiles() {
    const QByteArray baseline = CraftJpeg({.kind = Kind::Baseline, .components = 1});
    return {{"progressive", CraftJpeg({.kind = Kind::Progressive, .components = 1})},
            {"progressive colour", CraftJpeg({.kind = Kind::Progressive})},
            {"arithmetic", CraftJpeg({.kind = Kind::Arithmetic})},
            {"scan per component", CraftJpeg({.kind = Kind::MultiScan})},
            {"extended", CraftJpeg({.kind = Kind::Extended})},
            {"four components", CraftJpeg({.kind = Kind::Cmyk})},
            {"12-bit extended", TwelveBit(baseline, true)},
            {"12-bit as baseline", TwelveBit(baseline, false)}};
}

// The same kinds at sizes that would keep the main thread busy, each still one datagram.
std::vector<Crafted> ExpensiveForeignFiles() {
    std::vector<Crafted> files;
    for (const char* kind : {"progressive", "arithmetic", "multiscan", "extended", "cmyk",
                             "twelvebit", "oversized", "oversized colour"})
        files.push_back({kind, ExpensiveJpeg(QString::fromLatin1(kind))});
    files.push_back({"baseline one row too tall", CraftJpeg({Kind::Baseline, 1920, 1089, 3})});
    return files;
}

TEST(VideoDatagramDecoder, RefusesEveryKindThatNoCopyWritesThoughLibjpegReadsIt) {
    JpegDecoder any(video::JpegLimits{.maxScans = 64});
    JpegDecoder datagrams(kVideoDatagramLimits);
    for (const Crafted& crafted : SmallForeignFiles()) {
        ASSERT_FALSE(crafted.file.isEmpty()) << crafted.name;
        EXPECT_TRUE(datagrams.Decode(BytesOf(crafted.file)).isNull()) << crafted.name;
    }
    // They are real JPEG files: a decoder without the datagram's limits takes those whose
    // samples it can turn into RGB at all.
    for (const Crafted& crafted : SmallForeignFiles()) {
        const QString name = QString::fromLatin1(crafted.name);
        if (!name.contains(QLatin1String("four")) && !name.contains(QLatin1String("12-bit"))) {
            EXPECT_EQ(any.Decode(BytesOf(crafted.file)).size(), QSize(64, 64)) << crafted.name;
        }
    }
}

TEST(VideoDatagramDecoder, TakesTheWritersFramesUpToTheSizeBound) {
    JpegDecoder datagrams(kVideoDatagramLimits);
    const QImage ours = NoisyPicture(384, 288, 8);
    EXPECT_LT(MeanDifference(datagrams.Decode(BytesOf(EncodeFile(ours))), ours), 6.0);
    const QImage grey = ours.convertToFormat(QImage::Format_Grayscale8);
    EXPECT_LT(MeanDifference(datagrams.Decode(BytesOf(QtJpeg(grey))), grey), 6.0);

    const QByteArray largest = CraftJpeg({Kind::Baseline, 1920, 1088, 3});
    ASSERT_LE(std::size_t(largest.size()), kMaxVideoDatagram);
    EXPECT_EQ(datagrams.Decode(BytesOf(largest)).size(), QSize(1920, 1088));
    EXPECT_EQ(datagrams.Decode(BytesOf(CraftJpeg({Kind::Baseline, 4096, 510, 1}))).size(),
              QSize(4096, 510));
    EXPECT_TRUE(datagrams.Decode(BytesOf(CraftJpeg({Kind::Baseline, 4097, 16, 1}))).isNull());
}

TEST(VideoDatagramDecoder, RefusesExpensiveForeignFilesFromTheirHeadersInMicroseconds) {
    JpegDecoder datagrams(kVideoDatagramLimits);
    const QByteArray good = EncodeFile(NoisyPicture(384, 288, 8));
    constexpr int kRuns = 200;
    for (const Crafted& crafted : ExpensiveForeignFiles()) {
        ASSERT_FALSE(crafted.file.isEmpty()) << crafted.name;
        EXPECT_LE(std::size_t(crafted.file.size()), kMaxVideoDatagram) << crafted.name;
        const auto start = std::chrono::steady_clock::now();
        bool refused = true;
        for (int run = 0; run < kRuns; ++run)
            refused = datagrams.Decode(BytesOf(crafted.file)).isNull() && refused;
        const auto each = (std::chrono::steady_clock::now() - start) / kRuns;
        EXPECT_TRUE(refused) << crafted.name;
        std::cout << crafted.name << " (" << crafted.file.size() << " bytes): refused in "
                  << std::chrono::duration<double, std::micro>(each).count() << " us\n";
        // Decoding any of them takes from 50 ms to seconds; the headers alone a few microseconds.
        EXPECT_LT(each, 1ms) << crafted.name << ": "
                             << std::chrono::duration<double, std::micro>(each).count() << " us";
        // The decoder is as good as new afterwards.
        EXPECT_EQ(datagrams.Decode(BytesOf(good)).size(), QSize(384, 288)) << crafted.name;
    }
}

// A clock the test moves by hand.
struct ManualClock {
    std::chrono::nanoseconds now = 5s;
    DecodeBudget::Clock clock() {
        return [this] { return now; };
    }
};

TEST(DecodeBudget, AllowsAQuarterOfEverySecondGuessingTheNextCostFromTheDearest) {
    ManualClock time;
    DecodeBudget budget(time.clock());
    EXPECT_EQ(budget.allowance(), 250ms);
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(budget.Allows()) << i;
        time.now += 10ms;
        budget.Spend(20ms);
    }
    EXPECT_EQ(budget.Spent(), 200ms);
    EXPECT_TRUE(budget.Allows()); // 200 + 20 fits
    budget.Spend(40ms);
    EXPECT_EQ(budget.Spent(), 240ms);
    EXPECT_FALSE(budget.Allows()); // 240 + 40 does not
    // Cheap work after a dear decode does not make the next one look cheap.
    time.now += 1s + 50ms;
    budget.Spend(190ms);
    budget.Spend(1us);
    EXPECT_FALSE(budget.Allows()); // 190 + 190 > 250
}

TEST(DecodeBudget, ASlidingWindowNotAFreshStartEverySecond) {
    ManualClock time;
    DecodeBudget budget(time.clock());
    time.now = 10s + 900ms;
    budget.Spend(200ms);
    time.now += 200ms; // a new second on the clock, which must not bring a fresh quarter
    EXPECT_EQ(budget.Spent(), 200ms);
    EXPECT_FALSE(budget.Allows());
    budget.Spend(10ms);
    time.now = 11s + 940ms; // the slice of 10.90 s is still partly inside
    EXPECT_EQ(budget.Spent(), 210ms);
    EXPECT_FALSE(budget.Allows());
    time.now = 11s + 950ms; // and now wholly outside
    EXPECT_EQ(budget.Spent(), 10ms);
    EXPECT_TRUE(budget.Allows());
    time.now += 1s + 50ms;
    EXPECT_EQ(budget.Spent(), 0ms);
}

TEST(DecodeBudget, CountsManySmallCostsAndNeverLocksOutAfterOneHugeOne) {
    ManualClock time;
    DecodeBudget budget(time.clock());
    for (int i = 0; i < 10000; ++i) {
        budget.Spend(10us);
        time.now += 50us;
    }
    EXPECT_EQ(budget.Spent(), 100ms);
    EXPECT_TRUE(budget.Allows());

    DecodeBudget slow(time.clock());
    slow.Spend(400ms); // more than a whole allowance in one go
    EXPECT_FALSE(slow.Allows());
    time.now += 1100ms;
    EXPECT_TRUE(slow.Allows()); // the window is empty again: one more may go
    EXPECT_FALSE(DecodeBudget(time.clock(), 0.0).Allows());
}

TEST(VideoTransportBudget, DropsDatagramsWhileTheBudgetIsSpentAndShowsNothingForThem) {
    ManualClock time;
    video::VideoTransport transport(time.clock());
    const QByteArray good = EncodeFile(NoisyPicture(160, 120, 4));
    int shown = 0;
    const auto show = [&shown](QImage&& image) {
        EXPECT_EQ(image.size(), QSize(160, 120));
        ++shown;
    };
    EXPECT_TRUE(transport.ReceiveDatagram(BytesOf(good), show));
    transport.decodeBudget().Spend(240ms);
    EXPECT_FALSE(transport.ReceiveDatagram(BytesOf(good), show));
    EXPECT_FALSE(transport.ReceiveDatagram(BytesOf(good), show));
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(transport.datagramsOverBudget(), 2u);
    time.now += 1100ms;
    EXPECT_TRUE(transport.ReceiveDatagram(BytesOf(good), show));
    EXPECT_FALSE(transport.ReceiveDatagram(BytesOf(QByteArray("not a picture")), show));
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(transport.datagramsOverBudget(), 2u); // refused, not over budget
}

TEST(VideoTransportBudget, AFloodOfTheLargestFramesTakesAtMostAQuarterOfTheThread) {
    video::VideoTransport transport;
    // The largest frame the writer can send in one datagram, with content that costs the
    // decoder all it can.
    const QImage picture = NoisyPicture(1920, 1088, 2);
    std::vector<std::uint8_t> out(video::VideoTransport::kSendBufferSize);
    video::JpegEncoder encoder;
    video::VideoDatagramWriter writer;
    const auto datagram = writer.Write(encoder, ViewOf(picture), out);
    ASSERT_GT(datagram.size, 0u);
    const std::span<const std::uint8_t> bytes(out.data(), datagram.size);

    int shown = 0, offered = 0;
    std::vector<std::pair<std::chrono::nanoseconds, std::chrono::nanoseconds>> busy;
    const auto start = std::chrono::steady_clock::now();
    auto since = [start] { return std::chrono::steady_clock::now() - start; };
    while (since() < 2500ms) {
        ++offered;
        const auto began = since();
        shown += transport.ReceiveDatagram(
            bytes, [](QImage&& image) { EXPECT_EQ(image.size(), QSize(1920, 1088)); });
        busy.emplace_back(began, since());
        // A datagram every 2 ms, far faster than a copy sends or the decoder can take.
        std::this_thread::sleep_for(2ms);
    }
    // The most time spent in any one second.
    std::chrono::nanoseconds most{0};
    for (const auto& [from, to] : busy) {
        std::chrono::nanoseconds inSecond{0};
        for (const auto& [begin, end] : busy)
            inSecond += std::max(0ns, std::min(end, from + 1s) - std::max(begin, from));
        most = std::max(most, inSecond);
    }
    std::cout << "decoded " << shown << " of " << offered
              << " largest frames; most time in one second "
              << std::chrono::duration<double, std::milli>(most).count() << " ms" << std::endl;
    EXPECT_GT(shown, 2);
    EXPECT_EQ(transport.datagramsOverBudget(), std::uint64_t(offered - shown));
    EXPECT_LE(most, 250ms);
}

} // namespace
} // namespace vocalyn::test
