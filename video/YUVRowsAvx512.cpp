// The AVX-512 row kernels (with the byte permutations of VBMI) of the layouts
// that matter most for speed: the same arithmetic as the AVX2 ones (see
// YUVRowsAvx2.cpp) on 16 pairs a step, one word permutation per channel that
// merges the even and odd pixels' results in pixel order, and one byte
// permutation per 16 output pixels that interleaves the channels.
#include "video/YUVRowKernels.h"

#if defined(__x86_64__) || defined(__i386__)

// GCC 12's AVX-512 shift and permute intrinsics pass an undefined vector
// through their mask argument, which its own analysis then reports as
// possibly uninitialised: a false alarm, silenced for this file only.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <immintrin.h>

#include <algorithm>

#define VOCALYN_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace vocalyn::video::detail {

void Yuy2RowAvx2(const std::uint8_t* source, std::uint8_t* destination, int pairs);
void UyvyRowAvx2(const std::uint8_t* source, std::uint8_t* destination, int pairs);
void I420RowsAvx2(const std::uint8_t* luma0, const std::uint8_t* luma1, const std::uint8_t* u,
                  const std::uint8_t* v, std::uint8_t* destination0, std::uint8_t* destination1,
                  int pairs);

namespace {

using namespace fixed;

constexpr int kBatchSteps = 32;

// Word p of the channel permutation picks pixel p's result: the high half of
// its pair's even-pixel sum (index below 32) or odd-pixel sum (from 32 on).
struct WordOrder {
    alignas(64) short index[32];
};

constexpr WordOrder MakeWordOrder() {
    WordOrder order{};
    for (int pixel = 0; pixel < 32; ++pixel)
        order.index[pixel] = static_cast<short>(pixel % 2 ? 32 + pixel : pixel + 1);
    return order;
}

constexpr WordOrder kWordOrder = MakeWordOrder();

// The bytes of the pixels 16h to 16h + 15: from the packed blue and red (8
// blue, then 8 red bytes in each 128-bit part; index below 64) and the packed
// green and zeros (from 64 on).
struct PixelBytes {
    alignas(64) unsigned char index[2][64];
};

constexpr PixelBytes MakePixelBytes() {
    PixelBytes bytes{};
    for (int half = 0; half < 2; ++half)
        for (int p = 0; p < 16; ++p) {
            const int pixel = 16 * half + p;
            const int at = pixel / 8 * 16 + pixel % 8;
            bytes.index[half][4 * p] = static_cast<unsigned char>(at);
            bytes.index[half][4 * p + 1] = static_cast<unsigned char>(64 + at);
            bytes.index[half][4 * p + 2] = static_cast<unsigned char>(at + 8);
            bytes.index[half][4 * p + 3] = static_cast<unsigned char>(64 + 8);
        }
    return bytes;
}

constexpr PixelBytes kPixelBytes = MakePixelBytes();

struct Constants {
    __m512i blueU, blueC, greenU, greenV, greenC, redV, redC;
    __m512i lumaScale, greenRecheck, lowWord32, wordOrder;
    __m512i byte0, byte1, byte2; // shuffles taking that byte of each lane
    __m512i pixelBytes0, pixelBytes1;
};

// Byte `at` of each 32-bit lane to the lane's low byte, the others zeroed.
VOCALYN_AVX512 inline __m512i ByteShuffle(int at) {
    const int z = static_cast<int>(0x80808000u) | at;
    return _mm512_setr_epi32(z, z + 4, z + 8, z + 12, z, z + 4, z + 8, z + 12, z, z + 4, z + 8,
                             z + 12, z, z + 4, z + 8, z + 12);
}

VOCALYN_AVX512 inline Constants MakeConstants() {
    return {_mm512_set1_epi32(kBlueU),
            _mm512_set1_epi32(kBlueC),
            _mm512_set1_epi32(kGreenU),
            _mm512_set1_epi32(kGreenV),
            _mm512_set1_epi32(kGreenC),
            _mm512_set1_epi32(kRedV),
            _mm512_set1_epi32(kRedC),
            _mm512_set1_epi32(kLumaScale),
            _mm512_set1_epi16(static_cast<short>(kGreenRecheck)),
            _mm512_set1_epi32(0xFFFF),
            _mm512_load_si512(kWordOrder.index),
            ByteShuffle(0),
            ByteShuffle(1),
            ByteShuffle(2),
            _mm512_load_si512(kPixelBytes.index[0]),
            _mm512_load_si512(kPixelBytes.index[1])};
}

struct PairSums {
    __m512i blue, green, red;
};

VOCALYN_AVX512 inline PairSums SumsOfPairs(const Constants& k, __m512i u, __m512i v) {
    return {_mm512_srai_epi32(_mm512_add_epi32(_mm512_mullo_epi32(u, k.blueU), k.blueC), 6),
            _mm512_srai_epi32(_mm512_add_epi32(_mm512_add_epi32(_mm512_mullo_epi32(u, k.greenU),
                                                                _mm512_mullo_epi32(v, k.greenV)),
                                               k.greenC),
                              6),
            _mm512_srai_epi32(_mm512_add_epi32(_mm512_mullo_epi32(v, k.redV), k.redC), 6)};
}

// Converts the 16 pairs of a step (one per 32-bit lane, in order); returns a
// mask with bit 2p set when pair p's green must be recomputed.
VOCALYN_AVX512 inline __mmask32 StorePairs(const Constants& k, __m512i evenLuma, __m512i oddLuma,
                                           const PairSums& w, std::uint8_t* destination) {
    const __m512i even = _mm512_mullo_epi32(evenLuma, k.lumaScale);
    const __m512i odd = _mm512_mullo_epi32(oddLuma, k.lumaScale);
    const auto channel = [&](__m512i evenSum, __m512i oddSum) VOCALYN_AVX512 {
        return _mm512_permutex2var_epi16(evenSum, k.wordOrder, oddSum);
    };
    const __m512i greenEven = _mm512_add_epi32(even, w.green);
    const __m512i greenOdd = _mm512_add_epi32(odd, w.green);
    const __m512i blueRed =
        _mm512_packus_epi16(channel(_mm512_add_epi32(even, w.blue), _mm512_add_epi32(odd, w.blue)),
                            channel(_mm512_add_epi32(even, w.red), _mm512_add_epi32(odd, w.red)));
    const __m512i greenZero =
        _mm512_packus_epi16(channel(greenEven, greenOdd), _mm512_setzero_si512());
    _mm512_storeu_si512(destination, _mm512_permutex2var_epi8(blueRed, k.pixelBytes0, greenZero));
    _mm512_storeu_si512(destination + 64,
                        _mm512_permutex2var_epi8(blueRed, k.pixelBytes1, greenZero));
    // The fractions are the low halves of the lanes: the even words.
    return _mm512_mask_cmpge_epu16_mask(0x55555555u, _mm512_max_epu16(greenEven, greenOdd),
                                        k.greenRecheck);
}

VOCALYN_AVX512 inline __m512i ByteOfLanes(const Constants& k, __m512i x, int at) {
    switch (at) {
    case 0:
        return _mm512_shuffle_epi8(x, k.byte0);
    case 1:
        return _mm512_shuffle_epi8(x, k.byte1);
    case 2:
        return _mm512_shuffle_epi8(x, k.byte2);
    default:
        return _mm512_srli_epi32(x, 24);
    }
}

struct Yuv {
    std::uint8_t Y, U, V;
};

// Recomputes both pixels of each flagged pair of a step.
template <class PixelSource>
void Recheck(unsigned mask, std::uint8_t* destination, PixelSource pixel) {
    for (; mask; mask &= mask - 1) {
        const int pair = __builtin_ctz(mask) / 2;
        for (int index = 2 * pair; index < 2 * pair + 2; ++index) {
            const auto [Y, U, V] = pixel(index);
            StorePixel(destination + 4 * index, ExactPixel(Y, U, V));
        }
    }
}

// Offsets of Y0, U, Y1 and V in a pair.
template <int kY0, int kU, int kY1, int kV>
VOCALYN_AVX512 void PackedRow(const std::uint8_t* source, std::uint8_t* destination, int pairs,
                              PackedRowFn tail) {
    const Constants k = MakeConstants();
    __mmask32 masks[kBatchSteps];
    const int steps = pairs / 16;
    for (int first = 0; first < steps; first += kBatchSteps) {
        const int count = std::min(kBatchSteps, steps - first);
        unsigned any = 0;
        for (int s = first; s < first + count; ++s) {
            const __m512i x = _mm512_loadu_si512(source + 64 * s);
            masks[s - first] =
                StorePairs(k, ByteOfLanes(k, x, kY0), ByteOfLanes(k, x, kY1),
                           SumsOfPairs(k, ByteOfLanes(k, x, kU), ByteOfLanes(k, x, kV)),
                           destination + 128 * s);
            any |= masks[s - first];
        }
        for (int s = first; any && s < first + count; ++s)
            Recheck(masks[s - first], destination + 128 * s, [&](int i) {
                const std::uint8_t* pair = source + 64 * s + 4 * (i / 2);
                return Yuv{pair[i % 2 ? kY1 : kY0], pair[kU], pair[kV]};
            });
    }
    tail(source + 64 * steps, destination + 128 * steps, pairs - 16 * steps);
}

} // namespace

VOCALYN_AVX512 void Yuy2RowAvx512(const std::uint8_t* source, std::uint8_t* destination,
                                  int pairs) {
    PackedRow<0, 1, 2, 3>(source, destination, pairs, Yuy2RowAvx2);
}

VOCALYN_AVX512 void UyvyRowAvx512(const std::uint8_t* source, std::uint8_t* destination,
                                  int pairs) {
    PackedRow<1, 0, 3, 2>(source, destination, pairs, UyvyRowAvx2);
}

// The chroma of a step serves both rows.
VOCALYN_AVX512 void I420RowsAvx512(const std::uint8_t* luma0, const std::uint8_t* luma1,
                                   const std::uint8_t* u, const std::uint8_t* v,
                                   std::uint8_t* destination0, std::uint8_t* destination1,
                                   int pairs) {
    const Constants k = MakeConstants();
    __mmask32 masks[kBatchSteps][2];
    const std::uint8_t* const luma[2] = {luma0, luma1};
    std::uint8_t* const destinations[2] = {destination0, destination1};
    const int steps = pairs / 16;
    for (int first = 0; first < steps; first += kBatchSteps) {
        const int count = std::min(kBatchSteps, steps - first);
        unsigned any = 0;
        for (int s = first; s < first + count; ++s) {
            const auto chroma = [&](const std::uint8_t* p) VOCALYN_AVX512 {
                return _mm512_cvtepu8_epi32(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * s)));
            };
            const PairSums sums = SumsOfPairs(k, chroma(u), chroma(v));
            for (int row = 0; row < 2; ++row) {
                const __m512i pairLuma = _mm512_cvtepu8_epi16(
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(luma[row] + 32 * s)));
                masks[s - first][row] =
                    StorePairs(k, _mm512_and_si512(pairLuma, k.lowWord32),
                               _mm512_srli_epi32(pairLuma, 16), sums, destinations[row] + 128 * s);
                any |= masks[s - first][row];
            }
        }
        for (int s = first; any && s < first + count; ++s)
            for (int row = 0; row < 2; ++row)
                Recheck(masks[s - first][row], destinations[row] + 128 * s, [&](int i) {
                    return Yuv{luma[row][32 * s + i], u[16 * s + i / 2], v[16 * s + i / 2]};
                });
    }
    I420RowsAvx2(luma0 + 32 * steps, luma1 + 32 * steps, u + 16 * steps, v + 16 * steps,
                 destination0 + 128 * steps, destination1 + 128 * steps, pairs - 16 * steps);
}

} // namespace vocalyn::video::detail

#endif
