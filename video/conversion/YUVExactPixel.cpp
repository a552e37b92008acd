#include "video/conversion/YUVConverters.h"
#include "video/conversion/YUVRowKernels.h"

namespace vocalyn::video::detail {

namespace {

// The formula's constants times 256000 are whole numbers, so every sum is an
// integer count of 1/256000ths: 1.1643828125 * 256000 = 298082, and so on.
constexpr int kUnit = 256000;
constexpr int kLuma = 298082;
constexpr int kBlueU = 516411;
constexpr int kGreenU = -100291;
constexpr int kGreenV = -208120;
constexpr int kRedV = 408583;
constexpr int kLumaOffset = -16 * kLuma;

// Truncation toward zero then clamping; a whole-number sum is reported as a
// hit, because 80-bit rounding may have put it just below.
inline std::uint32_t Channel(int sum, bool& hit) {
    if (sum <= 0)
        return 0;
    if (sum >= 256 * kUnit)
        return 255;
    const int whole = sum / kUnit;
    hit |= whole * kUnit == sum;
    return static_cast<std::uint32_t>(whole);
}

} // namespace

std::uint32_t ExactPixel(std::uint8_t Y, std::uint8_t U, std::uint8_t V) {
    const int luma = kLuma * Y + kLumaOffset;
    const int u = U - 128;
    const int v = V - 128;
    bool hit = false;
    const std::uint32_t blue = Channel(luma + kBlueU * u, hit);
    const std::uint32_t green = Channel(luma + kGreenU * u + kGreenV * v, hit);
    const std::uint32_t red = Channel(luma + kRedV * v, hit);
    if (hit)
        return YUVToRGB(Y, U, V);
    return blue | green << 8 | red << 16;
}

void Yuy2RowScalar(const std::uint8_t* source, std::uint8_t* destination, int pairs) {
    for (int i = 0; i < pairs; ++i, source += 4, destination += 8) {
        StorePixel(destination, ExactPixel(source[0], source[1], source[3]));
        StorePixel(destination + 4, ExactPixel(source[2], source[1], source[3]));
    }
}

void UyvyRowScalar(const std::uint8_t* source, std::uint8_t* destination, int pairs) {
    for (int i = 0; i < pairs; ++i, source += 4, destination += 8) {
        StorePixel(destination, ExactPixel(source[1], source[0], source[2]));
        StorePixel(destination + 4, ExactPixel(source[3], source[0], source[2]));
    }
}

namespace {

void I420RowsScalar(const std::uint8_t* luma0, const std::uint8_t* luma1, const std::uint8_t* u,
                    const std::uint8_t* v, std::uint8_t* destination0, std::uint8_t* destination1,
                    int pairs) {
    for (int i = 0; i < pairs; ++i) {
        for (int k = 0; k < 2; ++k) {
            StorePixel(destination0 + 8 * i + 4 * k, ExactPixel(luma0[2 * i + k], u[i], v[i]));
            StorePixel(destination1 + 8 * i + 4 * k, ExactPixel(luma1[2 * i + k], u[i], v[i]));
        }
    }
}

void GreyRowScalar(const std::uint8_t* luma, std::uint8_t* destination, int pixels) {
    for (int x = 0; x < pixels; ++x)
        StorePixel(destination + 4 * x, luma[x] * 0x010101u);
}

void Y211RowScalar(const std::uint8_t* source, std::uint8_t* destination, int groups) {
    for (int g = 0; g < groups; ++g, source += 4) {
        const std::uint32_t first = ExactPixel(source[0], source[1], source[3]);
        const std::uint32_t second = ExactPixel(source[2], source[1], source[3]);
        for (int k = 0; k < 4; ++k, destination += 4)
            StorePixel(destination, k < 2 ? first : second);
    }
}

void Y41PRowScalar(const std::uint8_t* source, std::uint8_t* destination, int pixels) {
    for (int x = 0; x < pixels; ++x) {
        const std::uint8_t* group = source + x / 8 * 12;
        const int chroma = Y41PChromaAt(x % 8);
        StorePixel(destination + 4 * x,
                   ExactPixel(group[kY41PLumaAt[x % 8]], group[chroma], group[chroma + 2]));
    }
}

void Yvu9RowScalar(const std::uint8_t* luma, const std::uint8_t* u, const std::uint8_t* v,
                   std::uint8_t* destination, int groups) {
    for (int x = 0; x < 4 * groups; ++x)
        StorePixel(destination + 4 * x, ExactPixel(luma[x], u[x / 4], v[x / 4]));
}

} // namespace

const RowKernels& ScalarKernels() {
    static constexpr RowKernels kKernels{"scalar",
                                         EachPackedRow<Yuy2RowScalar>,
                                         EachPackedRow<UyvyRowScalar>,
                                         I420RowsScalar,
                                         GreyRowScalar,
                                         Y211RowScalar,
                                         Y41PRowScalar,
                                         Yvu9RowScalar};
    return kKernels;
}

} // namespace vocalyn::video::detail
