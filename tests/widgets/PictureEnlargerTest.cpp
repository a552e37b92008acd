#include "widgets/PictureEnlarger.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace vocalyn {
namespace {

QImage Noise(int width, int height, QImage::Format format = QImage::Format_RGB32) {
    QImage picture(width, height, format);
    std::uint32_t state = 12345;
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            row[x] = state | 0xFF000000u;
        }
    }
    return picture;
}

// Where the centre of line `index` of `count` falls among `size` lines, in 128ths.
std::pair<int, int> Centre(int index, int count, int size) {
    const double at = (index + 0.5) * size / count - 0.5;
    if (at <= 0)
        return {0, 0};
    if (at >= size - 1)
        return {size - 2, 128};
    const auto steps = static_cast<int>(at * 128 + 1e-9);
    return {steps / 128, steps % 128};
}

// Each pixel worked out on its own: the two rows' pairs blended across, then down.
QImage Reference(const QImage& picture, QSize size) {
    QImage result(size, picture.format());
    for (int y = 0; y < size.height(); ++y) {
        const auto [row, down] = Centre(y, size.height(), picture.height());
        for (int x = 0; x < size.width(); ++x) {
            const auto [column, across] = Centre(x, size.width(), picture.width());
            std::uint32_t pixel = 0;
            for (int channel = 0; channel < 4; ++channel) {
                const auto value = [&](int dy, int dx) {
                    const auto* line =
                        reinterpret_cast<const std::uint32_t*>(picture.constScanLine(row + dy));
                    return static_cast<int>(line[column + dx] >> 8 * channel & 0xFF);
                };
                const int upper = value(0, 0) * (128 - across) + value(0, 1) * across;
                const int lower = value(1, 0) * (128 - across) + value(1, 1) * across;
                const int blended = (upper * (128 - down) + lower * down + 8192) >> 14;
                pixel |= static_cast<std::uint32_t>(blended) << 8 * channel;
            }
            reinterpret_cast<std::uint32_t*>(result.scanLine(y))[x] = pixel;
        }
    }
    return result;
}

TEST(PictureEnlarger, EveryPixelIsTheBlendOfItsFourNeighboursWithAndWithoutSse2) {
    struct Case {
        QSize from, to;
        QImage::Format format = QImage::Format_RGB32;
    };
    // A peer's picture in the big picture; odd sizes for the ends of rows; one way only;
    // the smallest picture; a picture with alpha.
    const Case cases[] = {
        {{384, 288}, {640, 480}}, {{37, 23}, {101, 61}},
        {{5, 2}, {5, 9}},         {{9, 7}, {30, 7}},
        {{2, 2}, {3, 3}},         {{16, 12}, {40, 30}, QImage::Format_ARGB32_Premultiplied}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from.width() << "x" << c.from.height() << " to "
                                        << c.to.width() << "x" << c.to.height());
        const QImage picture = Noise(c.from.width(), c.from.height(), c.format);
        const QImage expected = Reference(picture, c.to);
        for (const bool vector : {true, false}) {
            PictureEnlarger enlarger(vector);
            ASSERT_TRUE(PictureEnlarger::Takes(picture, c.to));
            const QImage& result = enlarger.Enlarge(picture, c.to);
            ASSERT_EQ(result.size(), c.to);
            EXPECT_EQ(result.format(), c.format);
            EXPECT_TRUE(result == expected) << "vector " << vector;
        }
    }
}

TEST(PictureEnlarger, LooksLikeQtsSmoothScaling) {
    // Smooth detail, as in a camera's picture.
    QImage picture(384, 288, QImage::Format_RGB32);
    for (int y = 0; y < 288; ++y)
        for (int x = 0; x < 384; ++x)
            picture.setPixel(x, y, qRgb((x * 2) & 255, (y * 3) & 255, (x + y) / 3));
    QImage qt(640, 480, QImage::Format_RGB32);
    QPainter painter(&qt);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(qt.rect(), picture);
    painter.end();
    PictureEnlarger enlarger;
    const QImage& ours = enlarger.Enlarge(picture, qt.size());
    long long total = 0;
    int largest = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const QRgb a = qt.pixel(x, y), b = ours.pixel(x, y);
            for (const int d : {qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b)}) {
                total += std::abs(d);
                largest = std::max(largest, std::abs(d));
            }
        }
    EXPECT_LT(static_cast<double>(total) / (640 * 480 * 3), 1.0);
    EXPECT_LE(largest, 3);
}

TEST(PictureEnlarger, TakesOnlyEnlargementsOf32BitPicturesAndReusesItsResult) {
    const QImage picture = Noise(8, 6);
    EXPECT_FALSE(PictureEnlarger::Takes(picture, {7, 6}));
    EXPECT_FALSE(PictureEnlarger::Takes(picture, {8, 5}));
    EXPECT_FALSE(PictureEnlarger::Takes(Noise(1, 6), {8, 8}));
    EXPECT_FALSE(PictureEnlarger::Takes(picture.convertToFormat(QImage::Format_RGB888), {16, 12}));
    EXPECT_FALSE(PictureEnlarger::Takes(picture.convertToFormat(QImage::Format_ARGB32), {16, 12}));
    PictureEnlarger enlarger;
    EXPECT_TRUE(enlarger.Enlarge(picture, {7, 6}).isNull());

    const uchar* first = enlarger.Enlarge(picture, {16, 12}).constBits();
    EXPECT_EQ(enlarger.Enlarge(Noise(8, 6), {16, 12}).constBits(), first);
    // Held elsewhere, the result is left alone and the next one has an image of its own.
    const QImage held = enlarger.Result();
    const QImage copy = held.copy();
    enlarger.Enlarge(Noise(4, 3), {16, 12});
    EXPECT_TRUE(held == copy);
    EXPECT_NE(enlarger.Result().constBits(), first);
}

} // namespace
} // namespace vocalyn
