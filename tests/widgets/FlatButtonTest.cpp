#include "widgets/FlatButton.h"

#include <QTest>
#include <gtest/gtest.h>

#include <cmath>

namespace vocalyn {
namespace {

QImage Paint(FlatButton& button, qreal devicePixelRatio) {
    QImage image(button.size() * devicePixelRatio, QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::black);
    button.render(&image);
    return image;
}

// Squared steps inside each pair of pixels in a row: none in a picture blown up pixel by pixel,
// small in one blown up smoothly, large where edges are as sharp as the device's pixels.
double StepsWithinPairs(const QImage& image) {
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x + 1 < image.width(); x += 2)
            sum += std::pow(qGray(image.pixel(x + 1, y)) - qGray(image.pixel(x, y)), 2);
    return sum;
}

// At 200 % the picture comes from its own high-resolution pixels, sharper than the 100 % one
// blown up; the keyboard focus shows as a solid ring at the edge.
TEST(FlatButton, DrawsThePictureAtTheDevicesPixelsAndRingsTheFocus) {
    FlatButton button;
    button.setPicture(QPixmap(QStringLiteral(VOCALYN_ASSETS_DIR "/call@3x.png")));
    button.resize(97, 60);
    const QImage sharp = Paint(button, 2);
    const QImage blownUp =
        Paint(button, 1).scaled(sharp.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_GT(StepsWithinPairs(sharp), 1.5 * StepsWithinPairs(blownUp)); // 2.3 times, measured

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
