#include "video/conversion/YUVConverters.h"

namespace vocalyn::video {

int ClassifyFormat(std::uint32_t code) {
    switch (code) {
    case 0: // BI_RGB
    case 3: // BI_BITFIELDS
        return kClassRGB;
    case 0x32595559: // YUY2
        return kClassYUY2;
    case 0x59565955: // UYVY
        return kClassUYVY;
    case 0x50313459: // Y41P
        return kClassY41P;
    case 0x39555659: // YVU9
        return kClassYVU9;
    case 0x30323449: // I420
        return kClassI420;
    case 0x20203859: // "Y8  "
        return kClassY8;
    case 0x31313259: // Y211
        return kClassY211;
    default:
        return kClassUnknown;
    }
}

namespace {

// The formula. long double is the x87 80-bit format here; each constant is
// written as a long double literal and the sums run left to right, which
// fixes the result for the few sums that land on a whole number.
__attribute__((always_inline)) inline std::uint32_t Formula(std::uint8_t Y, std::uint8_t U,
                                                            std::uint8_t V) {
    static_assert(sizeof(long double) > sizeof(double), "needs 80-bit long double");
    const long double y = static_cast<int>(Y) - 16;
    const long double u = static_cast<int>(U) - 128;
    const long double v = static_cast<int>(V) - 128;
    const long double blue = y * 1.1643828125L + u * 2.01723046875L;
    const long double green = y * 1.1643828125L + u * -0.39176171875L + v * -0.81296875L;
    const long double red = y * 1.1643828125L + v * 1.59602734375L;
    const auto truncateAndClamp = [](long double sum) {
        auto value = static_cast<long long>(sum); // toward zero
        if (value > 255)
            value = 255;
        if (value < 0)
            value = 0;
        return static_cast<std::uint32_t>(value);
    };
    return truncateAndClamp(blue) | truncateAndClamp(green) << 8 | truncateAndClamp(red) << 16;
}

#if defined(__x86_64__) || defined(__i386__)
// The same with SSE3's truncating store: without it every conversion switches
// the x87 rounding mode twice, which can cost more than the formula itself.
__attribute__((target("sse3"))) std::uint32_t FormulaSse3(std::uint8_t Y, std::uint8_t U,
                                                          std::uint8_t V) {
    return Formula(Y, U, V);
}
#endif

std::uint32_t FormulaPlain(std::uint8_t Y, std::uint8_t U, std::uint8_t V) {
    return Formula(Y, U, V);
}

} // namespace

std::uint32_t YUVToRGB(std::uint8_t Y, std::uint8_t U, std::uint8_t V) {
#if defined(__x86_64__) || defined(__i386__)
    static const bool hasSse3 = __builtin_cpu_supports("sse3");
    if (hasSse3)
        return FormulaSse3(Y, U, V);
#endif
    return FormulaPlain(Y, U, V);
}

} // namespace vocalyn::video
