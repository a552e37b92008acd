#pragma once

// Checks of the emulated camera's test picture in a picture the program shows.

#include "tests/v4l2cam/TestPattern.h"

#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace vocalyn::test {

inline QRgb Expected(v4l2cam::Rgb colour) {
    return qRgb(colour.r, colour.g, colour.b);
}

// The largest difference of one channel.
inline int Distance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

// Each quadrant of the test picture where it belongs, within the error of YUV subsampling and
// JPEG; a picture upside down or mirrored has each colour in another corner.
inline void ExpectUpright(const QImage& picture, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_FALSE(picture.isNull());
    const int w = picture.width();
    const int h = picture.height();
    const struct {
        double x, y;
        v4l2cam::Rgb colour;
    } corners[] = {{0.2, 0.2, v4l2cam::kTopLeft},
                   {0.8, 0.2, v4l2cam::kTopRight},
                   {0.2, 0.8, v4l2cam::kBottomLeft},
                   {0.8, 0.8, v4l2cam::kBottomRight}};
    for (const auto& corner : corners) {
        const QRgb seen = picture.pixel(int(corner.x * w), int(corner.y * h));
        EXPECT_LE(Distance(seen, Expected(corner.colour)), 24)
            << "at " << corner.x << ", " << corner.y << ": " << std::hex << seen;
    }
}

} // namespace vocalyn::test
