#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

// Row kernels behind the converters: one implementation per instruction set,
// all bit-exact with YUVToRGB. Internal to the video layer and its tests.
namespace vocalyn::video::detail {

// `pairs` pixel pairs of a packed 4:2:2 row (four bytes per pair) into
// 32-bit pixels; the byte order is that of the kernel's format.
using PackedRowFn = void (*)(const std::uint8_t* source, std::uint8_t* destination, int pairs);

// Two picture rows sharing one row of chroma (4:2:0): `pairs` pixel pairs of
// each luma row into its own destination row.
using PlanarRowsFn = void (*)(const std::uint8_t* luma0, const std::uint8_t* luma1,
                              const std::uint8_t* u, const std::uint8_t* v,
                              std::uint8_t* destination0, std::uint8_t* destination1, int pairs);

// `pixels` luma bytes into grey 32-bit pixels, without the colour formula.
using GreyRowFn = void (*)(const std::uint8_t* luma, std::uint8_t* destination, int pixels);

struct RowKernels {
    const char* name;
    PackedRowFn yuy2; // Y0 U Y1 V
    PackedRowFn uyvy; // U Y0 V Y1
    PlanarRowsFn i420;
    GreyRowFn y8;
};

const RowKernels& ScalarKernels();
// Null when the build has no such kernels.
const RowKernels* Avx2Kernels();

// Every kernel set this processor can run, the scalar one first.
std::vector<const RowKernels*> RunnableKernels();
// The fastest runnable set, unless a test chose another.
const RowKernels& ActiveKernels();
void UseKernels(const RowKernels& kernels);

// YUVToRGB computed in integers. The formula's sums are exact multiples of
// 1/256000; only a sum that is a whole number can round differently in 80-bit
// arithmetic, so those few pixels are delegated to the reference.
std::uint32_t ExactPixel(std::uint8_t Y, std::uint8_t U, std::uint8_t V);

inline void StorePixel(std::uint8_t* destination, std::uint32_t pixel) {
    std::memcpy(destination, &pixel, sizeof pixel);
}

} // namespace vocalyn::video::detail
