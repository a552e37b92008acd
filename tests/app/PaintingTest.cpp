// The painters behind the main window's look: the gradient bands and the
// rounded window region.
#include "base/Error.h"
#include "widgets/DrawGradient.h"
#include "widgets/RoundRegion.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using vocalyn::DrawGradient;
using vocalyn::GradientRect;

namespace {

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255);
const QColor kBackground(1, 2, 3);

// Paints a vertical gradient into an image 4 pixels wide and one row taller
// than the extent, so a line drawn past the extent would show.
QImage Paint(int extent, const QList<QColor>& colours) {
    QImage image(4, extent + 1, QImage::Format_RGB32);
    image.fill(kBackground);
    QPainter painter(&image);
    DrawGradient(painter, GradientRect{0, 0, 4, extent}, false, colours);
    return image;
}

QColor Row(const QImage& image, int y) {
    return image.pixelColor(1, y);
}

} // namespace

TEST(DrawGradient, EvenExtentSplitsIntoTwoBandsSharingTheMiddleLine) {
    const QImage image = Paint(40, {kRed, kGreen, kBlue});
    EXPECT_EQ(Row(image, 0), kRed);
    // Line 10 is half way through the first band: 255 * 0.5 truncates to 127.
    EXPECT_EQ(Row(image, 10), QColor(127, 127, 0));
    // The shared line is redrawn by the second band in its starting colour.
    EXPECT_EQ(Row(image, 20), kGreen);
    // The second band runs 20..39 over 19 steps; 39 ends exactly on blue.
    EXPECT_EQ(Row(image, 39), kBlue);
    EXPECT_EQ(Row(image, 38), QColor(0, static_cast<int>(255 - 255 * (18.0 / 19)),
                                     static_cast<int>(255 * (18.0 / 19))));
    EXPECT_EQ(Row(image, 40), kBackground);
}

TEST(DrawGradient, HalfBandSizeRoundsToEvenAndLastBandTakesTheRest) {
    // 41 / 2 = 20.5 rounds to 20, so the last band covers lines 20..40.
    const QImage image = Paint(41, {kRed, kGreen, kBlue});
    EXPECT_EQ(Row(image, 20), kGreen);
    EXPECT_EQ(Row(image, 30), QColor(0, 127, 127));
    EXPECT_EQ(Row(image, 40), kBlue);
    EXPECT_EQ(Row(image, 41), kBackground);
    // 43 / 2 = 21.5 rounds up to 22, the even neighbour.
    const QImage odd = Paint(43, {kRed, kGreen, kBlue});
    EXPECT_EQ(Row(odd, 22), kGreen);
    EXPECT_NE(Row(odd, 21), kGreen);
}

TEST(DrawGradient, HorizontalDirectionPaintsColumnsAndStopsBeforeRight) {
    QImage image(11, 3, QImage::Format_RGB32);
    image.fill(kBackground);
    QPainter painter(&image);
    DrawGradient(painter, GradientRect{0, 0, 10, 3}, true, {kRed, kBlue});
    painter.end();
    EXPECT_EQ(image.pixelColor(0, 1), kRed);
    EXPECT_EQ(image.pixelColor(9, 1), kBlue);
    EXPECT_EQ(image.pixelColor(10, 1), kBackground);
    // Lines stop short of the bottom edge too.
    QImage tall(11, 4, QImage::Format_RGB32);
    tall.fill(kBackground);
    QPainter tallPainter(&tall);
    DrawGradient(tallPainter, GradientRect{0, 0, 10, 3}, true, {kRed, kBlue});
    tallPainter.end();
    EXPECT_EQ(tall.pixelColor(0, 3), kBackground);
}

TEST(DrawGradient, FewerThanTwoColoursRaisesAndPaintsNothing) {
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(kBackground);
    QPainter painter(&image);
    painter.setPen(QPen(Qt::magenta, 3, Qt::DashLine));
    try {
        DrawGradient(painter, GradientRect{0, 0, 4, 4}, false, {kRed});
        FAIL() << "no error raised";
    } catch (const vocalyn::Error& e) {
        EXPECT_EQ(e.message(), "Please specify at least two colors.");
    }
    EXPECT_EQ(painter.pen().color(), QColor(Qt::magenta));
    EXPECT_EQ(painter.pen().width(), 3);
    painter.end();
    EXPECT_EQ(image.pixelColor(0, 0), kBackground);
}

TEST(DrawGradient, RestoresThePen) {
    QImage image(4, 10, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setPen(QPen(Qt::cyan, 4, Qt::DotLine));
    DrawGradient(painter, GradientRect{0, 0, 4, 10}, false, {kRed, kGreen, kBlue});
    EXPECT_EQ(painter.pen().color(), QColor(Qt::cyan));
    EXPECT_EQ(painter.pen().width(), 4);
    EXPECT_EQ(painter.pen().style(), Qt::DotLine);
}

TEST(RoundRectRegion, MainWindowShapeLeavesOutTopRowLeftColumnAndCorners) {
    const QRegion region = vocalyn::RoundRectRegion(1, 1, 658, 682, 40, 40);
    for (int x = 0; x < 658; ++x)
        ASSERT_FALSE(region.contains(QPoint(x, 0))) << x;
    for (int y = 0; y < 682; ++y)
        ASSERT_FALSE(region.contains(QPoint(0, y))) << y;
    EXPECT_TRUE(region.contains(QPoint(329, 1)));
    EXPECT_TRUE(region.contains(QPoint(1, 341)));
    EXPECT_TRUE(region.contains(QPoint(657, 341)));
    EXPECT_TRUE(region.contains(QPoint(329, 681)));
    EXPECT_FALSE(region.contains(QPoint(658, 341)));
    EXPECT_FALSE(region.contains(QPoint(329, 682)));
    // Every corner is cut.
    EXPECT_FALSE(region.contains(QPoint(2, 2)));
    EXPECT_FALSE(region.contains(QPoint(656, 2)));
    EXPECT_FALSE(region.contains(QPoint(2, 680)));
    EXPECT_FALSE(region.contains(QPoint(656, 680)));
    EXPECT_TRUE(region.contains(QPoint(21, 21)));
    // The shape is symmetric: row 1's span mirrors row 681's.
    const QRect top = (region & QRect(0, 1, 700, 1)).boundingRect();
    const QRect bottom = (region & QRect(0, 681, 700, 1)).boundingRect();
    EXPECT_EQ(top.left(), bottom.left());
    EXPECT_EQ(top.right(), bottom.right());
    EXPECT_EQ(top.left() - 1, 657 - top.right());
}
