// The AVX-512 row kernels (with the byte permutations of VBMI) of the layouts
// that matter most for speed: the same arithmetic as the AVX2 ones (see
// YUVRowsAvx2.cpp) on 16 pairs a step; the packed layouts take a whole
// picture a call. The sums are packed straight to
// bytes (the pack clamps the high halves, the channels), and three byte
// permutations put them in pixel order: fewer instructions than merging the
// even and odd pixels' words first, which is what decides the speed here.
#include "video/conversion/YUVRowKernels.h"

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

struct ByteIndex {
    alignas(64) unsigned char index[64];
};

// After the packs, one vector holds the blue and green of the even pixels,
// one those of the odd pixels, one the red of both. In each 128-bit part j,
// byte 2i + 1 comes from the pack's first operand and byte 8 + 2i + 1 from
// its second; both belong to pair 4j + i.
constexpr int PackedAt(int pair, bool second) {
    return 16 * (pair / 4) + 2 * (pair % 4) + 1 + (second ? 8 : 0);
}

// The merged blue and green: blue of pixels 0-31, then their green.
constexpr ByteIndex BlueGreenIndex() {
    ByteIndex q{};
    for (int pixel = 0; pixel < 32; ++pixel) {
        const int odd = pixel % 2 ? 64 : 0;
        q.index[pixel] = static_cast<unsigned char>(odd + PackedAt(pixel / 2, false));
        q.index[32 + pixel] = static_cast<unsigned char>(odd + PackedAt(pixel / 2, true));
    }
    return q;
}

// Pixels 16h to 16h + 15 from the merged blue and green and the red; byte 3
// is zeroed by kColourBytes.
constexpr ByteIndex PixelIndex(int h) {
    ByteIndex out{};
    for (int p = 0; p < 16; ++p) {
        const int pixel = 16 * h + p;
        out.index[4 * p] = static_cast<unsigned char>(pixel);
        out.index[4 * p + 1] = static_cast<unsigned char>(32 + pixel);
        out.index[4 * p + 2] = static_cast<unsigned char>(64 + PackedAt(pixel / 2, pixel % 2));
    }
    return out;
}

constexpr __mmask64 kColourBytes = 0x7777777777777777ull;
constexpr ByteIndex kBlueGreen = BlueGreenIndex(), kLow = PixelIndex(0), kHigh = PixelIndex(1);

struct Constants {
    __m512i blueU, blueC, greenU, greenV, greenC, redV, redC;
    __m512i lumaScale, lowWord32;
    __m512i blueGreen, low, high; // the byte permutations of StorePairs
};

// Byte `at` of each 32-bit lane to the lane's low byte, the others zeroed.
VOCALYN_AVX512 inline __m512i ByteShuffle(int at) {
    const int z = static_cast<int>(0x80808000u) | at;
    return _mm512_setr_epi32(z, z + 4, z + 8, z + 12, z, z + 4, z + 8, z + 12, z, z + 4, z + 8,
                             z + 12, z, z + 4, z + 8, z + 12);
}

// The packed rows carry the additive constants of blue and red in the bytes
// above each chroma sample: with these coefficients, each constant is the
// coefficient times a whole multiple of 256, modulo 2^32, so that
// (U + 256 * kUAbove) * kBlueU wraps to U * kBlueU + C. They are as exact as
// the plain ones (the exhaustive test covers them); green keeps an additive
// constant, less what the raised samples add to its sum.
namespace folded {
inline constexpr int kBlueU = 8460879;
inline constexpr int kRedV = 6694225;
inline constexpr std::uint32_t kUAbove = 7937259;
inline constexpr std::uint32_t kVAbove = 1802259;
static_assert(256u * kUAbove * std::uint32_t(kBlueU) == std::uint32_t(-1161132800));
static_assert(256u * kVAbove * std::uint32_t(kRedV) == std::uint32_t(-935001344));
inline constexpr int kGreenC =
    static_cast<int>(std::uint32_t(fixed::kGreenC) - 256u * kUAbove * std::uint32_t(kGreenU) -
                     256u * kVAbove * std::uint32_t(kGreenV));

// Byte `at` of each pair in the low byte of its lane, raised by the bytes of
// `above` (bytes `from` to `from` + 2 of the second table).
constexpr ByteIndex RaisedIndex(int at, int from) {
    ByteIndex q{};
    for (int lane = 0; lane < 16; ++lane) {
        q.index[4 * lane] = static_cast<unsigned char>(4 * lane + at);
        for (int b = 1; b < 4; ++b)
            q.index[4 * lane + b] = static_cast<unsigned char>(64 + from + b - 1);
    }
    return q;
}
} // namespace folded

struct FoldedConstants {
    __m512i blueU, greenU, greenV, greenC, redV, lumaScale;
    __m512i y0, y1, raisedU, raisedV, above; // how the samples are taken
    __m512i blueGreen, low, high;
};

VOCALYN_AVX512 inline FoldedConstants MakeFoldedConstants(int y0, int u, int y1, int v) {
    using namespace folded;
    alignas(64) unsigned char above[64] = {};
    for (int b = 0; b < 3; ++b) {
        above[b] = static_cast<unsigned char>(kUAbove >> 8 * b);
        above[4 + b] = static_cast<unsigned char>(kVAbove >> 8 * b);
    }
    const ByteIndex raisedU = RaisedIndex(u, 0), raisedV = RaisedIndex(v, 4);
    return {_mm512_set1_epi32(kBlueU),
            _mm512_set1_epi32(fixed::kGreenU),
            _mm512_set1_epi32(fixed::kGreenV),
            _mm512_set1_epi32(kGreenC),
            _mm512_set1_epi32(kRedV),
            _mm512_set1_epi32(fixed::kLumaScale),
            ByteShuffle(y0),
            ByteShuffle(y1),
            _mm512_load_si512(raisedU.index),
            _mm512_load_si512(raisedV.index),
            _mm512_load_si512(above),
            _mm512_load_si512(kBlueGreen.index),
            _mm512_load_si512(kLow.index),
            _mm512_load_si512(kHigh.index)};
}

VOCALYN_AVX512 inline Constants MakeConstants() {
    return {_mm512_set1_epi32(kBlueU),     _mm512_set1_epi32(kBlueC),
            _mm512_set1_epi32(kGreenU),    _mm512_set1_epi32(kGreenV),
            _mm512_set1_epi32(kGreenC),    _mm512_set1_epi32(kRedV),
            _mm512_set1_epi32(kRedC),      _mm512_set1_epi32(kLumaScale),
            _mm512_set1_epi32(0xFFFF),     _mm512_load_si512(kBlueGreen.index),
            _mm512_load_si512(kLow.index), _mm512_load_si512(kHigh.index)};
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

struct GreenSums {
    __m512i even, odd;
};

// Bit 2p set when the green fraction of lane p (the even words) calls for a
// recheck.
VOCALYN_AVX512 inline __mmask32 RecheckMask(__m512i greens) {
    return _mm512_mask_cmpge_epu16_mask(0x55555555u, greens,
                                        _mm512_set1_epi16(static_cast<short>(kGreenRecheck)));
}

// Converts the 16 pairs of a step (one per 32-bit lane, in order); returns
// the green sums, whose fractions say which pairs to recheck.
template <class K>
VOCALYN_AVX512 inline GreenSums StorePairs(const K& k, __m512i evenLuma, __m512i oddLuma,
                                           const PairSums& w, std::uint8_t* destination) {
    const __m512i even = _mm512_mullo_epi32(evenLuma, k.lumaScale);
    const __m512i odd = _mm512_mullo_epi32(oddLuma, k.lumaScale);
    const __m512i greenEven = _mm512_add_epi32(even, w.green);
    const __m512i greenOdd = _mm512_add_epi32(odd, w.green);
    // Each pack keeps the high halves' bytes (clamped) at its odd bytes.
    const __m512i evenBlueGreen = _mm512_packus_epi16(_mm512_add_epi32(even, w.blue), greenEven);
    const __m512i oddBlueGreen = _mm512_packus_epi16(_mm512_add_epi32(odd, w.blue), greenOdd);
    const __m512i reds =
        _mm512_packus_epi16(_mm512_add_epi32(even, w.red), _mm512_add_epi32(odd, w.red));
    const __m512i blueGreen = _mm512_permutex2var_epi8(evenBlueGreen, k.blueGreen, oddBlueGreen);
    _mm512_storeu_si512(destination,
                        _mm512_maskz_permutex2var_epi8(kColourBytes, blueGreen, k.low, reds));
    _mm512_storeu_si512(destination + 64,
                        _mm512_maskz_permutex2var_epi8(kColourBytes, blueGreen, k.high, reds));
    return {greenEven, greenOdd};
}

struct Yuv {
    std::uint8_t Y, U, V;
};

// Recomputes, in the lanes flagged for steps `first` to `first + count - 1`
// (bit 2p: pair p of every step), the pixels whose green fraction calls for
// it; pixel(s, i) gives (Y, U, V) of pixel i of step s. Going over those lanes
// alone costs far less than redoing the steps or keeping a mask for each.
template <class Pixel>
__attribute__((noinline, cold)) void RecheckLanes(unsigned lanes, int first, int count,
                                                  std::uint8_t* destination, Pixel pixel) {
    for (; lanes; lanes &= lanes - 1) {
        const int pair = __builtin_ctz(lanes) / 2;
        for (int s = first; s < first + count; ++s)
            for (int index = 2 * pair; index < 2 * pair + 2; ++index) {
                const auto [Y, U, V] = pixel(s, index);
                if (GreenFraction(Y, U, V) >= kGreenRecheck)
                    StorePixel(destination + 128 * s + 4 * index, ExactPixel(Y, U, V));
            }
    }
}

// GCC reloads constants it can see from memory in every step rather than
// keep them in registers, of which there are enough; hidden from it, they
// stay in registers.
VOCALYN_AVX512 inline void KeepInRegisters(FoldedConstants& k) {
    asm(""
        : "+v"(k.blueU), "+v"(k.greenU), "+v"(k.greenV), "+v"(k.greenC), "+v"(k.redV),
          "+v"(k.lumaScale), "+v"(k.y0));
    asm(""
        : "+v"(k.y1), "+v"(k.raisedU), "+v"(k.raisedV), "+v"(k.above), "+v"(k.blueGreen),
          "+v"(k.low), "+v"(k.high));
}

// The chroma parts of a step's pairs, from the samples raised by the bytes
// above them.
VOCALYN_AVX512 inline PairSums FoldedSums(const FoldedConstants& k, __m512i x) {
    const __m512i u = _mm512_permutex2var_epi8(x, k.raisedU, k.above);
    const __m512i v = _mm512_permutex2var_epi8(x, k.raisedV, k.above);
    return {_mm512_srai_epi32(_mm512_mullo_epi32(u, k.blueU), 6),
            _mm512_srai_epi32(_mm512_add_epi32(_mm512_add_epi32(_mm512_mullo_epi32(u, k.greenU),
                                                                _mm512_mullo_epi32(v, k.greenV)),
                                               k.greenC),
                              6),
            _mm512_srai_epi32(_mm512_mullo_epi32(v, k.redV), 6)};
}

// A packed layout (offsets of Y0, U, Y1 and V in a pair). The steps run in
// batches of up to kBatchSteps of a row, and each batch keeps the greatest
// green fraction of every lane. The lanes to recheck are noted, and dealt
// with once kNotedBatches batches have run: a call among the steps would make
// the compiler reload every constant around it. The pairs short of a step at
// the end of each row are left to `narrow`, afterwards.
template <int kY0, int kU, int kY1, int kV>
VOCALYN_AVX512 void PackedRows(const std::uint8_t* source, std::ptrdiff_t sourceStride,
                               std::uint8_t* destination, std::ptrdiff_t destinationStride,
                               int pairs, int rows, PackedRowFn narrow) {
    constexpr int kNotedBatches = 256;
    FoldedConstants k = MakeFoldedConstants(kY0, kU, kY1, kV);
    const int steps = pairs / 16;
    unsigned noted[kNotedBatches];
    for (int row = 0, first = 0; steps > 0 && row < rows;) {
        const int startRow = row, startStep = first;
        int batches = 0;
        KeepInRegisters(k);
        for (; row < rows && batches < kNotedBatches; ++batches) {
            const std::uint8_t* in = source + row * sourceStride;
            std::uint8_t* out = destination + row * destinationStride;
            const int end = std::min(steps, first + kBatchSteps);
            __m512i highest = _mm512_setzero_si512();
            for (int s = first; s < end; ++s) {
                const __m512i x = _mm512_loadu_si512(in + 64 * s);
                const GreenSums green =
                    StorePairs(k, _mm512_shuffle_epi8(x, k.y0), _mm512_shuffle_epi8(x, k.y1),
                               FoldedSums(k, x), out + 128 * s);
                highest = _mm512_max_epu16(highest, _mm512_max_epu16(green.even, green.odd));
            }
            noted[batches] = RecheckMask(highest);
            first = end == steps ? 0 : end;
            row += first == 0;
        }
        for (int b = 0, r = startRow, f = startStep; b < batches; ++b) {
            const int end = std::min(steps, f + kBatchSteps);
            if (noted[b] != 0) {
                const std::uint8_t* in = source + r * sourceStride;
                RecheckLanes(noted[b], f, end - f, destination + r * destinationStride,
                             [in](int step, int i) {
                                 const std::uint8_t* pair = in + 64 * step + 4 * (i / 2);
                                 return Yuv{pair[i % 2 ? kY1 : kY0], pair[kU], pair[kV]};
                             });
            }
            f = end == steps ? 0 : end;
            r += f == 0;
        }
    }
    if (pairs % 16 != 0)
        for (int r = 0; r < rows; ++r)
            narrow(source + r * sourceStride + 64 * steps,
                   destination + r * destinationStride + 128 * steps, pairs % 16);
}

} // namespace

VOCALYN_AVX512 void Yuy2RowsAvx512(const std::uint8_t* source, std::ptrdiff_t sourceStride,
                                   std::uint8_t* destination, std::ptrdiff_t destinationStride,
                                   int pairs, int rows) {
    PackedRows<0, 1, 2, 3>(source, sourceStride, destination, destinationStride, pairs, rows,
                           Yuy2RowAvx2);
}

VOCALYN_AVX512 void UyvyRowsAvx512(const std::uint8_t* source, std::ptrdiff_t sourceStride,
                                   std::uint8_t* destination, std::ptrdiff_t destinationStride,
                                   int pairs, int rows) {
    PackedRows<1, 0, 3, 2>(source, sourceStride, destination, destinationStride, pairs, rows,
                           UyvyRowAvx2);
}

// The chroma of a step serves both rows.
VOCALYN_AVX512 void I420RowsAvx512(const std::uint8_t* luma0, const std::uint8_t* luma1,
                                   const std::uint8_t* u, const std::uint8_t* v,
                                   std::uint8_t* destination0, std::uint8_t* destination1,
                                   int pairs) {
    const Constants k = MakeConstants();
    const std::uint8_t* const luma[2] = {luma0, luma1};
    std::uint8_t* const destinations[2] = {destination0, destination1};
    const int steps = pairs / 16;
    for (int first = 0; first < steps; first += kBatchSteps) {
        const int count = std::min(kBatchSteps, steps - first);
        __m512i highest = _mm512_setzero_si512();
        for (int s = first; s < first + count; ++s) {
            const auto chroma = [&](const std::uint8_t* p) VOCALYN_AVX512 {
                return _mm512_cvtepu8_epi32(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * s)));
            };
            const PairSums sums = SumsOfPairs(k, chroma(u), chroma(v));
            for (int row = 0; row < 2; ++row) {
                const __m512i pairLuma = _mm512_cvtepu8_epi16(
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(luma[row] + 32 * s)));
                const GreenSums green =
                    StorePairs(k, _mm512_and_si512(pairLuma, k.lowWord32),
                               _mm512_srli_epi32(pairLuma, 16), sums, destinations[row] + 128 * s);
                highest = _mm512_max_epu16(highest, _mm512_max_epu16(green.even, green.odd));
            }
        }
        // Both rows share a lane's chroma, so a flagged lane is looked at in both.
        if (const unsigned lanes = RecheckMask(highest))
            for (int row = 0; row < 2; ++row)
                RecheckLanes(lanes, first, count, destinations[row], [&](int s, int i) {
                    return Yuv{luma[row][32 * s + i], u[16 * s + i / 2], v[16 * s + i / 2]};
                });
    }
    I420RowsAvx2(luma0 + 32 * steps, luma1 + 32 * steps, u + 16 * steps, v + 16 * steps,
                 destination0 + 128 * steps, destination1 + 128 * steps, pairs - 16 * steps);
}

} // namespace vocalyn::video::detail

#endif
