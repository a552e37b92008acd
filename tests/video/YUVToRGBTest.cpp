#include "video/conversion/YUVConverters.h"
#include "video/conversion/YUVRowKernels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vocalyn::video {
namespace {

std::uint32_t Bgr(int blue, int green, int red) {
    return static_cast<std::uint32_t>(blue | green << 8 | red << 16);
}

int Green(std::uint32_t pixel) {
    return (pixel >> 8) & 0xFF;
}

TEST(YUVToRGBTest, GreysTruncateAndClamp) {
    EXPECT_EQ(YUVToRGB(16, 128, 128), Bgr(0, 0, 0));
    EXPECT_EQ(YUVToRGB(235, 128, 128), Bgr(254, 254, 254)); // 254.99..., truncated
    EXPECT_EQ(YUVToRGB(255, 128, 128), Bgr(255, 255, 255)); // clamped
    EXPECT_EQ(YUVToRGB(128, 128, 128), Bgr(130, 130, 130));
    EXPECT_EQ(YUVToRGB(0, 128, 128), Bgr(0, 0, 0)); // negative sums become 0
}

// Sums that are whole numbers in exact arithmetic: 80-bit evaluation lands
// below some of them, and that result is the one the program gives.
TEST(YUVToRGBTest, ExtendedPrecisionDecidesWholeNumberSums) {
    EXPECT_EQ(Green(YUVToRGB(26, 68, 47)), 100);
    EXPECT_EQ(Green(YUVToRGB(70, 196, 100)), 58);
    EXPECT_EQ(Green(YUVToRGB(25, 6, 180)), 16);
}

TEST(YUVToRGBTest, ClassifyFormatByCode) {
    EXPECT_EQ(ClassifyFormat(0), kClassRGB);
    EXPECT_EQ(ClassifyFormat(3), kClassRGB);
    EXPECT_EQ(ClassifyFormat(0x32595559), kClassYUY2);
    EXPECT_EQ(ClassifyFormat(0x59565955), kClassUYVY);
    EXPECT_EQ(ClassifyFormat(0x50313459), kClassY41P);
    EXPECT_EQ(ClassifyFormat(0x39555659), kClassYVU9);
    EXPECT_EQ(ClassifyFormat(0x30323449), kClassI420);
    EXPECT_EQ(ClassifyFormat(0x20203859), kClassY8);
    EXPECT_EQ(ClassifyFormat(0x31313259), kClassY211);
    EXPECT_EQ(ClassifyFormat(1), kClassUnknown); // run-length codes
    EXPECT_EQ(ClassifyFormat(2), kClassUnknown);
    EXPECT_EQ(ClassifyFormat(0x47504A4D), kClassUnknown); // MJPG
    EXPECT_EQ(ClassifyFormat(0x59555932), kClassUnknown); // YUY2 with its bytes reversed
}

// A triple whose green sum the vector rows must recompute exactly.
struct Triple {
    std::uint8_t Y, U, V;
};

Triple GreenToRecheck(int skip) {
    for (int Y = 0; Y < 256; ++Y)
        for (int U = 0; U < 256; ++U)
            for (int V = 0; V < 256; ++V) {
                if (detail::fixed::GreenFraction(
                        static_cast<std::uint8_t>(Y), static_cast<std::uint8_t>(U),
                        static_cast<std::uint8_t>(V)) >= detail::fixed::kGreenRecheck &&
                    skip-- == 0)
                    return {static_cast<std::uint8_t>(Y), static_cast<std::uint8_t>(U),
                            static_cast<std::uint8_t>(V)};
            }
    return {0, 0, 0};
}

// Whole pictures in one call: padded source rows, the picture turned upside
// down, a row length that is not a whole number of steps, and in each row
// pairs to recheck at places that differ from row to row. Every kernel set
// must give what the scalar one gives and leave the padding alone. The tall
// picture has more batches of steps than are noted before their rechecks, so
// that a round of them ends inside a row.
TEST(YUVToRGBTest, PackedRowsHonourStridesAndRecheckEveryRow) {
    for (const auto& [pairs, rows] : {std::pair{16 * 40 + 5, 4}, std::pair{16 * 65 + 3, 100}}) {
        SCOPED_TRACE(testing::Message() << pairs << " pairs, " << rows << " rows");
        const int sourceStride = 4 * pairs + 12;
        const std::ptrdiff_t rowBytes = 8 * pairs, destinationStride = rowBytes + 32;
        std::vector<std::uint8_t> source(static_cast<std::size_t>(sourceStride) * rows);
        for (std::size_t i = 0; i < source.size(); ++i)
            source[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
        for (int r = 0; r < rows; ++r) {
            const Triple t = GreenToRecheck(r);
            for (int pair : {(37 * r + 3) % pairs, (300 + 101 * r) % pairs}) {
                std::uint8_t* bytes = &source[r * sourceStride + 4 * pair];
                bytes[0] = bytes[2] = t.Y; // YUY2
                bytes[1] = t.U;
                bytes[3] = t.V;
            }
        }
        const auto convert = [&](detail::PackedRowsFn convertRows) {
            std::vector<std::uint8_t> picture(destinationStride * rows, 0xA5);
            convertRows(source.data(), sourceStride, &picture[destinationStride * (rows - 1)],
                        -destinationStride, pairs, rows);
            return picture;
        };
        const auto expected = convert(detail::ScalarKernels().yuy2);
        for (int r = 0; r < rows; ++r)
            for (std::ptrdiff_t b = rowBytes; b < destinationStride; ++b)
                ASSERT_EQ(expected[destinationStride * r + b], 0xA5);
        for (const detail::RowKernels* kernels : detail::RunnableKernels()) {
            EXPECT_EQ(convert(kernels->yuy2), expected) << kernels->name;
            EXPECT_EQ(convert(kernels->uyvy), convert(detail::ScalarKernels().uyvy))
                << kernels->name;
        }
    }
}

// Every (Y, U, V) through every kernel set the processor runs and each of
// their layouts, compared with the reference evaluation. One test, so that
// the reference table is computed once; it is ordered by U, V, then Y, which
// is also the order of the packed rows' output.
class EveryTriple {
public:
    static constexpr std::size_t kTriples = std::size_t{1} << 24;

    EveryTriple() : reference_(kTriples) {
        for (std::size_t i = 0; i < kTriples; ++i)
            reference_[i] =
                YUVToRGB(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 16),
                         static_cast<std::uint8_t>(i >> 8));
    }

    // Each chroma pair of a packed row meets all 256 luma values over 128
    // pairs.
    void CheckPackedRow(const char* name, detail::PackedRowsFn rows, int y0, int u, int y1, int v) {
        const std::size_t pairs = kTriples / 2;
        std::vector<std::uint8_t> source(4 * pairs);
        for (std::size_t pair = 0; pair < pairs; ++pair) {
            std::uint8_t* bytes = &source[4 * pair];
            bytes[y0] = static_cast<std::uint8_t>(2 * pair);
            bytes[y1] = static_cast<std::uint8_t>(2 * pair + 1);
            bytes[u] = static_cast<std::uint8_t>(pair >> 15);
            bytes[v] = static_cast<std::uint8_t>(pair >> 7);
        }
        std::vector<std::uint32_t> output(kTriples);
        rows(source.data(), 0, reinterpret_cast<std::uint8_t*>(output.data()), 0,
             static_cast<int>(pairs), 1);
        if (output != reference_)
            for (std::size_t i = 0; i < kTriples; ++i)
                Expect(name, output[i], i);
    }

    // Each chroma sample of two planar rows covers four luma values.
    void CheckPlanarRows(const char* name, detail::PlanarRowsFn rows) {
        const std::size_t pairs = kTriples / 4;
        std::vector<std::uint8_t> luma0(2 * pairs), luma1(2 * pairs), u(pairs), v(pairs);
        for (std::size_t i = 0; i < pairs; ++i) {
            const auto quad = static_cast<std::uint8_t>(4 * i); // luma quad to quad + 3
            luma0[2 * i] = quad;
            luma0[2 * i + 1] = quad + 1;
            luma1[2 * i] = quad + 2;
            luma1[2 * i + 1] = quad + 3;
            u[i] = static_cast<std::uint8_t>(i >> 14);
            v[i] = static_cast<std::uint8_t>(i >> 6);
        }
        std::vector<std::uint32_t> output0(2 * pairs), output1(2 * pairs);
        rows(luma0.data(), luma1.data(), u.data(), v.data(),
             reinterpret_cast<std::uint8_t*>(output0.data()),
             reinterpret_cast<std::uint8_t*>(output1.data()), static_cast<int>(pairs));
        // Pixel i of either row belongs to the triples of chroma sample i / 2.
        for (std::size_t i = 0; i < 2 * pairs; ++i) {
            const std::size_t chroma = i / 2 / 64 << 8;
            Expect(name, output0[i], chroma | luma0[i]);
            Expect(name, output1[i], chroma | luma1[i]);
        }
    }

private:
    void Expect(const char* name, std::uint32_t pixel, std::size_t triple) {
        const std::uint32_t expected = reference_[triple];
        if (pixel != expected && ++misses_ <= 5)
            ADD_FAILURE() << name << ": Y=" << (triple & 0xFF) << " U=" << (triple >> 16)
                          << " V=" << (triple >> 8 & 0xFF) << " gives " << std::hex << pixel
                          << " instead of " << expected;
    }

    std::vector<std::uint32_t> reference_;
    int misses_ = 0;
};

// The scalar rows of every layout compute each pixel with the same function,
// so one layout covers it; the layouts are checked in the converter tests.
// The vector rows each have their own arithmetic and are all covered.
TEST(YUVToRGBTest, EveryKernelMatchesTheReferenceForEveryTriple) {
    EveryTriple check;
    for (const detail::RowKernels* kernels : detail::RunnableKernels()) {
        SCOPED_TRACE(kernels->name);
        check.CheckPackedRow("YUY2", kernels->yuy2, 0, 1, 2, 3);
        if (kernels == &detail::ScalarKernels())
            continue;
        check.CheckPackedRow("UYVY", kernels->uyvy, 1, 0, 3, 2);
        check.CheckPlanarRows("I420", kernels->i420);
    }
}

} // namespace
} // namespace vocalyn::video
