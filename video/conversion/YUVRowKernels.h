#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// Row kernels behind the converters: one implementation per instruction set,
// all bit-exact with YUVToRGB. Internal to the video layer and its tests.
namespace vocalyn::video::detail {

// `pairs` pixel pairs of a packed 4:2:2 row (four bytes per pair) into
// 32-bit pixels; the byte order is that of the kernel's format.
using PackedRowFn = void (*)(const std::uint8_t* source, std::uint8_t* destination, int pairs);

// `rows` such rows: row r is read at source + r * sourceStride and written at
// destination + r * destinationStride (negative to turn the picture upside
// down). A whole picture in one call lets a kernel set itself up once.
using PackedRowsFn = void (*)(const std::uint8_t* source, std::ptrdiff_t sourceStride,
                              std::uint8_t* destination, std::ptrdiff_t destinationStride,
                              int pairs, int rows);

// The rows form of a kernel that has nothing to set up.
template <PackedRowFn kRow>
void EachPackedRow(const std::uint8_t* source, std::ptrdiff_t sourceStride,
                   std::uint8_t* destination, std::ptrdiff_t destinationStride, int pairs,
                   int rows) {
    for (int r = 0; r < rows; ++r)
        kRow(source + r * sourceStride, destination + r * destinationStride, pairs);
}

// Two picture rows sharing one row of chroma (4:2:0): `pairs` pixel pairs of
// each luma row into its own destination row.
using PlanarRowsFn = void (*)(const std::uint8_t* luma0, const std::uint8_t* luma1,
                              const std::uint8_t* u, const std::uint8_t* v,
                              std::uint8_t* destination0, std::uint8_t* destination1, int pairs);

// `pixels` luma bytes into grey 32-bit pixels, without the colour formula.
using GreyRowFn = void (*)(const std::uint8_t* luma, std::uint8_t* destination, int pixels);

// A row of a layout whose source is one run of bytes: `count` units (pairs,
// groups or pixels, as each kernel says) into 32-bit pixels.
using RowFn = void (*)(const std::uint8_t* source, std::uint8_t* destination, int count);

// One luma row of a planar layout with one chroma sample per 4 pixels of a
// row (4:1:0): `groups` groups of 4 pixels.
using QuarterRowFn = void (*)(const std::uint8_t* luma, const std::uint8_t* u,
                              const std::uint8_t* v, std::uint8_t* destination, int groups);

struct RowKernels {
    const char* name;
    PackedRowsFn yuy2; // Y0 U Y1 V
    PackedRowsFn uyvy; // U Y0 V Y1
    PlanarRowsFn i420;
    GreyRowFn y8;
    RowFn y211;        // groups of Y0 U Y1 V, each luma sample for two pixels
    RowFn y41p;        // pixels, in groups of 12 bytes for 8 pixels
    QuarterRowFn yvu9; // the planes of YVU9
};

// Within a Y41P group of 12 bytes (U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7):
// where the luma of each of its 8 pixels lies, and where the chroma of a
// pixel starts (U, then V two bytes on).
inline constexpr int kY41PLumaAt[8] = {1, 3, 5, 7, 8, 9, 10, 11};
constexpr int Y41PChromaAt(int pixel) {
    return pixel < 4 ? 0 : 4;
}

const RowKernels& ScalarKernels();
// The scalar packed rows, which the vector ones use for a row's last pairs.
void Yuy2RowScalar(const std::uint8_t* source, std::uint8_t* destination, int pairs);
void UyvyRowScalar(const std::uint8_t* source, std::uint8_t* destination, int pairs);
// Null when the build has no such kernels.
const RowKernels* Avx2Kernels();
const RowKernels* Avx512Kernels();

// Every kernel set this processor can run, the scalar one first.
std::vector<const RowKernels*> RunnableKernels();
// The fastest runnable set, unless a test chose another.
const RowKernels& ActiveKernels();
void UseKernels(const RowKernels& kernels);

// The 16.16 fixed-point form of the formula that the vector kernels share
// (YUVRowsAvx2.cpp says how it is made exact):
//   channel = floor((Y * kLumaScale + W) / 65536),
//   W = (U * kU + V * kV + c) >> 6, the chroma part with the -16 of Y.
namespace fixed {
inline constexpr int kLumaScale = 65536 + 10773;
inline constexpr int kBlueU = 8460878;
inline constexpr int kBlueC = -1161132782;
inline constexpr int kGreenU = -1643168;
inline constexpr int kGreenV = -3409838;
// Set a little low, where an exhaustive search found the narrowest recheck
// window for these coefficients.
inline constexpr int kGreenC = 568644338 - 132;
inline constexpr int kRedV = 6694224;
inline constexpr int kRedC = -935001232;
// Green fractions from 65533/65536 up are recomputed exactly.
inline constexpr int kGreenRecheck = 65533;

// The fraction of a pixel's green sum as the vector kernels compute it; a
// pixel is recomputed exactly when it reaches kGreenRecheck.
inline unsigned GreenFraction(std::uint8_t Y, std::uint8_t U, std::uint8_t V) {
    const auto w = static_cast<std::uint32_t>((U * kGreenU + V * kGreenV + kGreenC) >> 6);
    return (Y * static_cast<std::uint32_t>(kLumaScale) + w) & 0xFFFF;
}
} // namespace fixed

// YUVToRGB computed in integers. The formula's sums are exact multiples of
// 1/256000; only a sum that is a whole number can round differently in 80-bit
// arithmetic, so those few pixels are delegated to the reference.
std::uint32_t ExactPixel(std::uint8_t Y, std::uint8_t U, std::uint8_t V);

inline void StorePixel(std::uint8_t* destination, std::uint32_t pixel) {
    std::memcpy(destination, &pixel, sizeof pixel);
}

} // namespace vocalyn::video::detail
