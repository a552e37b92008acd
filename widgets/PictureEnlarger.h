#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

namespace vocalyn {

// Enlarges 32-bit pictures with bilinear filtering, for a window that shows each picture of a
// video larger than it came. Qt's smooth scaling of a 384 x 288 picture to 640 x 480 cost more
// than decoding it. Here each row of the picture is scaled across once, and each row of the
// result is blended from two of those, so most of the work follows the picture's rows rather
// than the result's. Pixel centres map onto pixel centres, as in Qt's smooth scaling; the
// weights are in 128ths.
class PictureEnlarger {
public:
    // `vector` false leaves out the SSE2 code, for comparing the two.
    explicit PictureEnlarger(bool vector = true);

    // Whether Enlarge takes this picture to this size: a picture of 32-bit pixels, at least
    // 2 x 2, and the size at least the picture's each way.
    static bool Takes(const QImage& picture, QSize size);

    // The picture enlarged to `size`, in an image that the next call of the same size writes
    // into again once nobody else holds it. A null image when Takes is false.
    const QImage& Enlarge(const QImage& picture, QSize size);

    // What the last call of Enlarge gave.
    const QImage& Result() const { return result_; }

private:
    const std::int16_t* Across(const QImage& picture, int row, int other);

    bool vector_;
    QImage result_;
    std::vector<std::uint32_t> columns_; // each result column's first picture column
    std::vector<std::uint32_t> weights_; // its two weights, as (128 - w) | w << 16
    std::vector<std::int16_t> rows_[2];  // picture rows scaled across, 4 values a pixel
    int rowOf_[2] = {-1, -1};
};

} // namespace vocalyn
