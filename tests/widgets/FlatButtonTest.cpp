#include "widgets/FlatButton.h"

#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

namespace vocalyn {
namespace {

QImage Paint(FlatButton& button, qreal devicePixelRatio) {
    QImage image(button.size() * devicePixelRatio, QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::black);
    button.render(&image);
    return image;
}

// Detail finer than two device pixels, which a picture of half the resolution cannot hold: how
// far each pixel lies from the mean of its 2 x 2 block.
double FineDetail(const QImage& image) {
    double sum = 0;
    for (int y = 0; y + 1 < image.height(); y += 2)
        for (int x = 0; x + 1 < image.width(); x += 2) {
            const int block[] = {qGray(image.pixel(x, y)), qGray(image.pixel(x + 1, y)),
                                 qGray(image.pixel(x, y + 1)), qGray(image.pixel(x + 1, y + 1))};
            const double mean = (block[0] + block[1] + block[2] + block[3]) / 4.0;
            for (int value : block)
                sum += std::abs(value - mean);
        }
    return sum;
}

// At 200 % the picture comes from its own high-resolution pixels: it holds detail that the
// picture at 100 % blown up, smoothly or pixel by pixel, has not. The keyboard focus shows as a
// solid ring at the edge.
TEST(FlatButton, DrawsThePictureAtTheDevicesPixelsAndRingsTheFocus) {
    FlatButton button;
    button.setPicture(QPixmap(QStringLiteral(VOCALYN_ASSETS_DIR "/call@3x.png")));
    button.resize(97, 60);
    const QImage sharp = Paint(button, 2);
    const QImage blownUp =
        Paint(button, 1).scaled(sharp.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_GT(FineDetail(sharp), 2 * FineDetail(blownUp));

    const QPoint edge(1, 30);
    EXPECT_NE(Paint(button, 1).pixelColor(edge), FlatButton::kFocusRing);
    button.show();
    button.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&button));
    button.setFocus(Qt::TabFocusReason);
    EXPECT_EQ(Paint(button, 1).pixelColor(edge), FlatButton::kFocusRing);
}

} // namespace
} // namespace vocalyn
