#include "video/conversion/YUVConverters.h"
#include "video/conversion/YUVRowKernels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <vector>

namespace vocalyn::video {
namespace {

constexpr std::uint32_t kUntouched = 0xDEADBEEF;

struct Yuv {
    std::uint8_t Y, U, V;
};

// What one layout says about pixel (x, row) of the picture, counting rows of
// the source from its first: the pixel's samples, or nothing when the
// converter leaves it alone.
using Expectation =
    std::function<std::optional<Yuv>(const std::vector<std::uint8_t>& source, int x, int row)>;

struct Layout {
    const char* name;
    int frameClass;
    bool flipped;
    Expectation expect;
    bool grey = false; // luma copied as it is, without the colour formula

    std::uint32_t Pixel(const Yuv& samples) const {
        return grey ? samples.Y * 0x010101u : YUVToRGB(samples.Y, samples.U, samples.V);
    }
};

// The layouts as the format descriptions put them.
std::vector<Layout> Layouts(int width, int height) {
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    return {
        {"YUY2", kClassYUY2, true,
         [=](const auto& s, int x, int row) -> std::optional<Yuv> {
             if (x >= width / 2 * 2)
                 return {};
             const std::uint8_t* pair = &s[row * w * 2 + x / 2 * 4];
             return Yuv{pair[x % 2 * 2], pair[1], pair[3]};
         }},
        {"UYVY", kClassUYVY, true,
         [=](const auto& s, int x, int row) -> std::optional<Yuv> {
             if (x >= width / 2 * 2)
                 return {};
             const std::uint8_t* pair = &s[row * w * 2 + x / 2 * 4];
             return Yuv{pair[x % 2 * 2 + 1], pair[0], pair[2]};
         }},
        {"Y41P", kClassY41P, false,
         [=](const auto& s, int x, int row) -> std::optional<Yuv> {
             static constexpr int kLuma[8] = {1, 3, 5, 7, 8, 9, 10, 11};
             const std::uint8_t* group = &s[row * ((w + 7) / 8 * 12) + x / 8 * 12];
             const int chroma = x % 8 < 4 ? 0 : 4;
             return Yuv{group[kLuma[x % 8]], group[chroma], group[chroma + 2]};
         }},
        {"YVU9", kClassYVU9, true,
         [=](const auto& s, int x, int row) -> std::optional<Yuv> {
             if (x >= width / 4 * 4 || row >= height / 4 * 4)
                 return {};
             const std::size_t chromaWidth = (w + 3) / 4;
             const std::size_t chroma = row / 4 * chromaWidth + x / 4;
             const std::size_t vPlane = w * h;
             const std::size_t uPlane = vPlane + chromaWidth * ((h + 3) / 4);
             return Yuv{s[row * w + x], s[uPlane + chroma], s[vPlane + chroma]};
         }},
        {"I420", kClassI420, true,
         [=](const auto& s, int x, int row) -> std::optional<Yuv> {
             if (x >= width / 2 * 2 || row >= height / 2 * 2)
                 return {};
             const std::size_t chromaWidth = (w + 1) / 2;
             const std::size_t chroma = row / 2 * chromaWidth + x / 2;
             const std::size_t uPlane = w * h;
             const std::size_t vPlane = uPlane + chromaWidth * ((h + 1) / 2);
             return Yuv{s[row * w + x], s[uPlane + chroma], s[vPlane + chroma]};
         }},
        {"Y211", kClassY211, true,
         [=](const auto& s, int x, int row) -> std::optional<Yuv> {
             if (x >= width / 4 * 4)
                 return {};
             const std::uint8_t* group = &s[row * ((w + 3) / 4 * 4) + x / 4 * 4];
             return Yuv{group[x % 4 < 2 ? 0 : 2], group[1], group[3]};
         }},
        {"Y8", kClassY8, true,
         [=](const auto& s, int x, int row) -> std::optional<Yuv> {
             return Yuv{s[row * w + x], 128, 128};
         },
         true},
    };
}

// Random bytes, or random picks from a few values; the picks make many pixels
// (5, 86, 39) or (25, 6, 180), whose green sums are whole numbers that the
// vector kernels must recompute.
std::vector<std::uint8_t> RandomBytes(std::size_t count, unsigned seed, bool wholeSums) {
    static constexpr std::uint8_t kPicks[] = {5, 25, 86, 6, 39, 180};
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(count);
    for (auto& byte : bytes)
        byte = wholeSums ? kPicks[random() % 6] : static_cast<std::uint8_t>(random());
    return bytes;
}

std::uint32_t PixelAt(const std::vector<std::uint32_t>& picture, int width, int x, int memoryRow) {
    return picture[static_cast<std::size_t>(memoryRow) * width + x];
}

// Parameter: an index into the runnable kernel sets.
class ConvertersTest : public ::testing::TestWithParam<std::size_t> {
protected:
    void SetUp() override { detail::UseKernels(*detail::RunnableKernels().at(GetParam())); }
    void TearDown() override { detail::UseKernels(*detail::RunnableKernels().back()); }
};

// Converts random frames of one size in every layout and checks all four
// bytes of every pixel, including those that must keep their content and
// those whose sums need the exact recomputation.
void CheckEveryLayout(int width, int height) {
    for (const Layout& layout : Layouts(width, height)) {
        for (const bool wholeSums : {false, true}) {
            SCOPED_TRACE(testing::Message() << layout.name << " " << width << "x" << height
                                            << (wholeSums ? " whole sums" : ""));
            const auto source = RandomBytes(
                SourceFrameBytes(layout.frameClass, width, height),
                static_cast<unsigned>(width * 31 + height + layout.frameClass), wholeSums);
            std::vector<std::uint32_t> picture(static_cast<std::size_t>(width) * height,
                                               kUntouched);
            ASSERT_TRUE(ConvertFrame(layout.frameClass, source.data(),
                                     reinterpret_cast<std::uint8_t*>(picture.data()), width,
                                     height));
            int misses = 0;
            for (int row = 0; row < height; ++row) {
                const int memoryRow = layout.flipped ? height - 1 - row : row;
                for (int x = 0; x < width; ++x) {
                    const auto samples = layout.expect(source, x, row);
                    const std::uint32_t expected = samples ? layout.Pixel(*samples) : kUntouched;
                    const std::uint32_t got = PixelAt(picture, width, x, memoryRow);
                    if (got != expected && ++misses < 4)
                        ADD_FAILURE() << "pixel " << x << " of source row " << row << ": "
                                      << std::hex << got << " instead of " << expected;
                }
            }
        }
    }
}

// Odd sizes with partial groups, rows long enough for more than one batch of
// vector steps.
TEST_P(ConvertersTest, LayoutsFlipsAndPartialGroups) {
    const int sizes[][2] = {{1101, 6}, {13, 7}, {3, 2}};
    for (const auto& [width, height] : sizes)
        CheckEveryLayout(width, height);
}

// The vector rows take 16 or 32 pixels a step, in batches of 256 or 1024
// pixels, and leave the rest of a row to narrower code: widths around each of
// those bounds reach every loop and every tail. Heights of 1, 2 and 5 leave
// out whole blocks of the planar layouts, or part of one.
TEST_P(ConvertersTest, WidthsAroundEveryStepAndBatch) {
    for (const int width :
         {1,  2,  3,  4,  5,   7,   8,   9,   15,  16,  17,  31,   32,   33,   47,
          48, 63, 64, 65, 127, 128, 129, 255, 256, 257, 511, 1023, 1024, 1025, 2080})
        for (const int height : {1, 2, 5})
            CheckEveryLayout(width, height);
}

// Batches that run on from one row into the next, for more rows than the
// AVX-512 packed rows keep notes of before they recheck.
TEST_P(ConvertersTest, BatchesAcrossManyRows) {
    CheckEveryLayout(64, 300);
    CheckEveryLayout(2080, 3);
}

INSTANTIATE_TEST_SUITE_P(Kernels, ConvertersTest,
                         ::testing::Range(std::size_t{0}, detail::RunnableKernels().size()),
                         [](const auto& info) {
                             return std::string(detail::RunnableKernels()[info.param]->name);
                         });

// A picture of two rows whose source rows are a dark and a bright grey: the
// first source row ends up on top (the last row in memory) except for Y41P.
TEST(ConverterOrientationTest, FirstSourceRowOnTopExceptY41P) {
    const int width = 8;
    const int height = 4; // whole blocks for every layout
    for (const Layout& layout : Layouts(width, height)) {
        SCOPED_TRACE(layout.name);
        std::vector<std::uint8_t> source(SourceFrameBytes(layout.frameClass, width, height), 128);
        // Luma of the first source row 40, of the others 200: found by asking
        // the layout which byte holds each pixel's luma.
        for (int row = 0; row < height; ++row)
            for (int x = 0; x < width; ++x)
                for (std::size_t at = 0; at < source.size(); ++at) {
                    auto probe = source;
                    probe[at] = 1;
                    const auto samples = layout.expect(probe, x, row);
                    if (samples && samples->Y == 1)
                        source[at] = row == 0 ? 40 : 200;
                }
        std::vector<std::uint32_t> picture(width * height, kUntouched);
        ConvertFrame(layout.frameClass, source.data(),
                     reinterpret_cast<std::uint8_t*>(picture.data()), width, height);
        const std::uint32_t dark = layout.Pixel({40, 128, 128});
        const int firstRowInMemory = layout.frameClass == kClassY41P ? 0 : height - 1;
        for (int x = 0; x < width; ++x) {
            EXPECT_EQ(PixelAt(picture, width, x, firstRowInMemory), dark) << x;
            EXPECT_NE(PixelAt(picture, width, x, height - 1 - firstRowInMemory), dark) << x;
        }
    }
}

TEST(ConvertY8Test, CopiesLumaWithoutTheFormula) {
    const std::uint8_t source[] = {200, 0, 255, 16, 235, 7};
    std::vector<std::uint32_t> picture(6, kUntouched);
    ConvertY8(source, reinterpret_cast<std::uint8_t*>(picture.data()), 3, 2);
    EXPECT_EQ(picture[3], 0x00C8C8C8u); // first source row, top of the picture
    EXPECT_EQ(picture[4], 0x00000000u);
    EXPECT_EQ(picture[5], 0x00FFFFFFu);
    EXPECT_EQ(picture[0], 0x00101010u);
    EXPECT_NE(YUVToRGB(200, 128, 128), picture[3]); // the formula makes it brighter
}

TEST(ConvertFrameTest, OnlyClassesWithAConverterConvert) {
    const std::vector<std::uint8_t> source(64, 90);
    for (int frameClass : {0, 1, 9, -1}) { // unknown, plain RGB, out of range
        std::vector<std::uint32_t> picture(8, kUntouched);
        EXPECT_FALSE(ConvertFrame(frameClass, source.data(),
                                  reinterpret_cast<std::uint8_t*>(picture.data()), 4, 2));
        EXPECT_EQ(picture, std::vector<std::uint32_t>(8, kUntouched));
        EXPECT_EQ(SourceFrameBytes(frameClass, 4, 2), 0u);
    }
    for (int frameClass = kClassYUY2; frameClass <= kClassY211; ++frameClass) {
        std::vector<std::uint32_t> picture(16, kUntouched);
        EXPECT_TRUE(ConvertFrame(frameClass, source.data(),
                                 reinterpret_cast<std::uint8_t*>(picture.data()), 4, 4));
        EXPECT_NE(picture[0], kUntouched) << frameClass;
    }
}

TEST(ConvertFrameTest, NegativeOrEmptySizesWriteNothing) {
    const std::vector<std::uint8_t> source(64, 90);
    for (int frameClass = kClassYUY2; frameClass <= kClassY211; ++frameClass) {
        for (const auto& [width, height] :
             {std::pair{4, -2}, std::pair{4, 0}, std::pair{0, 2}, std::pair{-4, 2}}) {
            std::vector<std::uint32_t> picture(8, kUntouched);
            ConvertFrame(frameClass, source.data(), reinterpret_cast<std::uint8_t*>(picture.data()),
                         width, height);
            EXPECT_EQ(picture, std::vector<std::uint32_t>(8, kUntouched)) << frameClass;
            EXPECT_EQ(SourceFrameBytes(frameClass, width, height), 0u);
        }
    }
}

} // namespace
} // namespace vocalyn::video
