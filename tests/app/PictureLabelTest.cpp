// The big picture: each received picture fills the whole label, scaled while painting, and the
// label keeps the picture as it came (the snapshot copies that).
#include "app/PictureLabel.h"

#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

#include <cstdlib>

using vocalyn::PictureLabel;

namespace {

// A picture of four coloured quarters.
QImage Quarters(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    const QRgb colours[4] = {qRgb(200, 30, 30), qRgb(30, 200, 30), qRgb(30, 30, 200),
                             qRgb(220, 220, 40)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, colours[(y * 2 / height) * 2 + x * 2 / width]);
    return image;
}

// The largest difference of one colour channel between the two pictures.
int LargestDifference(const QImage& a, const QImage& b) {
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)),
                                std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
        }
    return largest;
}

QImage Shown(PictureLabel& label) {
    return label.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(PictureLabel, StretchesASmallerPictureOverTheWholeLabelAndKeepsItUnscaled) {
    PictureLabel label;
    label.resize(640, 480);
    const QImage picture = Quarters(384, 288);
    label.setPixmap(QPixmap::fromImage(picture));
    const QImage shown = Shown(label);
    ASSERT_EQ(shown.size(), QSize(640, 480));
    // Every corner is the picture's, the right way up and not mirrored.
    EXPECT_EQ(shown.pixel(0, 0), picture.pixel(0, 0));
    EXPECT_EQ(shown.pixel(639, 0), picture.pixel(383, 0));
    EXPECT_EQ(shown.pixel(0, 479), picture.pixel(0, 287));
    EXPECT_EQ(shown.pixel(639, 479), picture.pixel(383, 287));
    // Away from the edges between the quarters, the same as the smoothly scaled picture; at
    // them, blended no more than one pixel of the picture wide.
    const QImage scaled = picture.scaled(640, 480, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_EQ(LargestDifference(shown.copy(0, 0, 316, 236), scaled.copy(0, 0, 316, 236)), 0);
    EXPECT_EQ(LargestDifference(shown.copy(324, 244, 316, 236), scaled.copy(324, 244, 316, 236)),
              0);
    EXPECT_EQ(label.pixmap().size(), QSize(384, 288));
}

TEST(PictureLabel, APictureOfTheLabelsSizeIsShownPixelForPixel) {
    PictureLabel label;
    label.resize(64, 48);
    QImage picture(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            picture.setPixel(x, y, qRgb(x * 4, y * 5, (x ^ y) * 4)); // neighbours all differ
    label.setPixmap(QPixmap::fromImage(picture));
    EXPECT_EQ(LargestDifference(Shown(label), picture), 0);
}

TEST(PictureLabel, ALargerPictureIsShrunkToTheLabel) {
    PictureLabel label;
    label.resize(320, 240);
    const QImage picture = Quarters(1280, 720);
    label.setPixmap(QPixmap::fromImage(picture));
    const QImage shown = Shown(label);
    ASSERT_EQ(shown.size(), QSize(320, 240));
    EXPECT_EQ(shown.pixel(10, 10), picture.pixel(0, 0));
    EXPECT_EQ(shown.pixel(310, 230), picture.pixel(1279, 719));
    EXPECT_EQ(shown.pixel(310, 10), picture.pixel(1279, 0));
}
