// The AVX2 row kernels, in 16.16 fixed point:
//   out = floor((Y * (65536 + 10773) + W) / 65536)
// where 10773 / 65536 is 0.1643828125 (the fraction of 1.1643828125) rounded
// up, and W is the chroma part of the sum times 65536, computed once per
// pixel pair. Each 32-bit lane holds one pair; the even and the odd pixels of
// the pairs are summed in separate vectors, and a sum's high half is the
// channel, the carry out of its fraction included.
//
// Blue and red: the constants (in YUVRowKernels.h) were chosen so that this
// gives YUVToRGB's result for every (Y, U) and (Y, V); the exhaustive test
// proves it. Green cannot be made exact that way, so its W is set up to 3/65536 low:
// its integer part is never too high, and a sum whose fraction lies within
// that margin below a whole number is recomputed exactly. That happens for
// about one pixel in 21700.
#include "video/conversion/YUVRowKernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <algorithm>
#include <cstring>

#define VOCALYN_AVX2 __attribute__((target("avx2")))

namespace vocalyn::video::detail {

namespace {

using namespace fixed;

// A step converts 8 pixel pairs. Its loads put pairs 0, 1, 4, 5 in the low
// 128 bits and 2, 3, 6, 7 in the high ones, so that the final unpacks leave
// the pixels in order; word w of a step then holds pixel kPixelOfWord[w].
constexpr int kPixelOfWord[16] = {0, 1, 2, 3, 8, 9, 10, 11, 4, 5, 6, 7, 12, 13, 14, 15};

// Steps run in batches without calls, so the constants stay in registers;
// the few pixels to recheck are done after each batch.
constexpr int kBatchSteps = 16;

// Set up once per call instead of being rebuilt in every step.
struct Constants {
    __m256i blueU, blueC, greenU, greenV, greenC, redV, redC;
    __m256i lumaScale, greenRecheck;
    __m256i lowByte32, lowWord32;
};

VOCALYN_AVX2 inline Constants MakeConstants() {
    return {_mm256_set1_epi32(kBlueU),
            _mm256_set1_epi32(kBlueC),
            _mm256_set1_epi32(kGreenU),
            _mm256_set1_epi32(kGreenV),
            _mm256_set1_epi32(kGreenC),
            _mm256_set1_epi32(kRedV),
            _mm256_set1_epi32(kRedC),
            _mm256_set1_epi32(kLumaScale),
            _mm256_set1_epi16(static_cast<short>(kGreenRecheck)),
            _mm256_set1_epi32(0xFF),
            _mm256_set1_epi32(0xFFFF)};
}

struct PairSums {
    __m256i blue, green, red; // W of each pair, one pair per 32-bit lane
};

VOCALYN_AVX2 inline PairSums SumsOfPairs(const Constants& k, __m256i u, __m256i v) {
    return {_mm256_srai_epi32(_mm256_add_epi32(_mm256_mullo_epi32(u, k.blueU), k.blueC), 6),
            _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi32(u, k.greenU),
                                                                _mm256_mullo_epi32(v, k.greenV)),
                                               k.greenC),
                              6),
            _mm256_srai_epi32(_mm256_add_epi32(_mm256_mullo_epi32(v, k.redV), k.redC), 6)};
}

// Clamps three channels of the 16 pixels of a step (16-bit lanes) to bytes
// and stores them as 32-bit pixels.
VOCALYN_AVX2 inline void StoreChannels(__m256i blue, __m256i green, __m256i red,
                                       std::uint8_t* destination) {
    const __m256i blueRed = _mm256_packus_epi16(blue, red);
    const __m256i greenZero = _mm256_packus_epi16(green, _mm256_setzero_si256());
    const __m256i low8 = _mm256_unpacklo_epi8(blueRed, greenZero);
    const __m256i high8 = _mm256_unpackhi_epi8(blueRed, greenZero);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination),
                        _mm256_unpacklo_epi16(low8, high8));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + 32),
                        _mm256_unpackhi_epi16(low8, high8));
}

// Converts the 8 pairs of a step, given the luma of their even and their odd
// pixels; returns the greater green fraction of each pair (the low half of
// its lane), for the batch's check.
VOCALYN_AVX2 inline __m256i StorePairs(const Constants& k, __m256i evenLuma, __m256i oddLuma,
                                       const PairSums& w, std::uint8_t* destination) {
    const __m256i even = _mm256_mullo_epi32(evenLuma, k.lumaScale);
    const __m256i odd = _mm256_mullo_epi32(oddLuma, k.lumaScale);
    const auto channel = [&](__m256i sum) VOCALYN_AVX2 {
        return _mm256_blend_epi16(_mm256_srli_epi32(_mm256_add_epi32(even, sum), 16),
                                  _mm256_add_epi32(odd, sum), 0xAA);
    };
    const __m256i greenEven = _mm256_add_epi32(even, w.green);
    const __m256i greenOdd = _mm256_add_epi32(odd, w.green);
    const __m256i green = _mm256_blend_epi16(_mm256_srli_epi32(greenEven, 16), greenOdd, 0xAA);
    StoreChannels(channel(w.blue), green, channel(w.red), destination);
    return _mm256_max_epu16(greenEven, greenOdd);
}

// Bit 4l set when lane l of a batch's greatest green fractions calls for a
// recheck (the byte mask of the lanes' low halves).
VOCALYN_AVX2 inline unsigned FlaggedLanes(const Constants& k, __m256i highest) {
    const __m256i high = _mm256_cmpeq_epi16(_mm256_max_epu16(highest, k.greenRecheck), highest);
    return static_cast<unsigned>(_mm256_movemask_epi8(high)) & 0x11111111u;
}

// Byte `at` of each 32-bit lane, zero-extended: one instruction each.
VOCALYN_AVX2 inline __m256i ByteOfLanes(const Constants& k, __m256i x, int at) {
    if (at == 0)
        return _mm256_and_si256(x, k.lowByte32);
    if (at == 3)
        return _mm256_srli_epi32(x, 24);
    const int z = static_cast<int>(0x80808000u) | at;
    return _mm256_shuffle_epi8(x,
                               _mm256_setr_epi32(z, z + 4, z + 8, z + 12, z, z + 4, z + 8, z + 12));
}

struct Yuv {
    std::uint8_t Y, U, V;
};

// Recomputes, in the lanes flagged for steps `first` to `first + count - 1`,
// the pixels whose green fraction calls for it; pixel(s, i) gives (Y, U, V)
// of pixel i of step s. Going over the flagged lanes alone is cheaper than
// keeping a mask for every step.
template <class Pixel>
void RecheckLanes(unsigned flagged, int first, int count, std::uint8_t* destination, Pixel pixel) {
    for (; flagged; flagged &= flagged - 1) {
        const int lane = __builtin_ctz(flagged) / 4;
        for (int s = first; s < first + count; ++s)
            for (const int word : {2 * lane, 2 * lane + 1}) {
                const int index = kPixelOfWord[word];
                const auto [Y, U, V] = pixel(s, index);
                if (GreenFraction(Y, U, V) >= kGreenRecheck)
                    StorePixel(destination + 64 * s + 4 * index, ExactPixel(Y, U, V));
            }
    }
}

// Runs `steps` steps of a single-row kernel in batches: step(s, out) converts
// step s into out and returns its green fractions, pixel(s, i) gives the
// samples of pixel i of step s.
template <class Step, class Pixel>
VOCALYN_AVX2 void Batched(const Constants& k, int steps, std::uint8_t* destination, Step step,
                          Pixel pixel) {
    for (int first = 0; first < steps; first += kBatchSteps) {
        const int count = std::min(kBatchSteps, steps - first);
        __m256i highest = _mm256_setzero_si256();
        for (int s = first; s < first + count; ++s)
            highest = _mm256_max_epu16(highest, step(s, destination + 64 * s));
        if (const unsigned flagged = FlaggedLanes(k, highest))
            RecheckLanes(flagged, first, count, destination, pixel);
    }
}

// Packed layouts whose steps load as they are: offsets of Y0, U, Y1 and V in
// a pair.
template <int kY0, int kU, int kY1, int kV>
VOCALYN_AVX2 void PackedRow(const std::uint8_t* source, std::uint8_t* destination, int pairs,
                            PackedRowFn tail) {
    const Constants k = MakeConstants();
    const int steps = pairs / 8;
    Batched(
        k, steps, destination,
        [&](int s, std::uint8_t* out) VOCALYN_AVX2 {
            const __m256i x = _mm256_permute4x64_epi64(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + 32 * s)), 0xD8);
            return StorePairs(k, ByteOfLanes(k, x, kY0), ByteOfLanes(k, x, kY1),
                              SumsOfPairs(k, ByteOfLanes(k, x, kU), ByteOfLanes(k, x, kV)), out);
        },
        [&](int s, int i) {
            const std::uint8_t* pair = source + 32 * s + 4 * (i / 2);
            return Yuv{pair[i % 2 ? kY1 : kY0], pair[kU], pair[kV]};
        });
    tail(source + 32 * steps, destination + 64 * steps, pairs - 8 * steps);
}

// Layouts rearranged into YUY2 pairs by a shuffle in each 128-bit half: a
// step's pairs, as YUY2 dwords in the order of a step.
VOCALYN_AVX2 inline __m256i StoreYuy2Pairs(const Constants& k, __m256i x,
                                           std::uint8_t* destination) {
    return StorePairs(k, ByteOfLanes(k, x, 0), ByteOfLanes(k, x, 2),
                      SumsOfPairs(k, ByteOfLanes(k, x, 1), ByteOfLanes(k, x, 3)), destination);
}

// 16 luma bytes (a pair per 32-bit lane), then 8 chroma bytes, in the order
// of a step.
VOCALYN_AVX2 inline __m256i LoadLuma(const std::uint8_t* p) {
    return _mm256_permute4x64_epi64(
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))), 0xD8);
}

VOCALYN_AVX2 inline __m256i LoadChroma(const std::uint8_t* p) {
    return _mm256_permute4x64_epi64(
        _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))), 0xD8);
}

// 4 chroma bytes, each for two pairs, in the order of a step.
VOCALYN_AVX2 inline __m256i LoadQuarterChroma(const std::uint8_t* p) {
    std::int32_t bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    const char z = -1;
    return _mm256_shuffle_epi8(_mm256_set1_epi32(bytes),
                               _mm256_setr_epi8(0, z, z, z, 0, z, z, z, 2, z, z, z, 2, z, z, z, 1,
                                                z, z, z, 1, z, z, z, 3, z, z, z, 3, z, z, z));
}

} // namespace

VOCALYN_AVX2 void Yuy2RowAvx2(const std::uint8_t* source, std::uint8_t* destination, int pairs) {
    PackedRow<0, 1, 2, 3>(source, destination, pairs, Yuy2RowScalar);
}

VOCALYN_AVX2 void UyvyRowAvx2(const std::uint8_t* source, std::uint8_t* destination, int pairs) {
    PackedRow<1, 0, 3, 2>(source, destination, pairs, UyvyRowScalar);
}

// A step is 4 groups (16 bytes), two pairs each: the group's first luma
// sample twice, then its second.
VOCALYN_AVX2 void Y211RowAvx2(const std::uint8_t* source, std::uint8_t* destination, int groups) {
    const Constants k = MakeConstants();
    const __m256i toPairs =
        _mm256_setr_epi8(0, 1, 0, 3, 2, 1, 2, 3, 8, 9, 8, 11, 10, 9, 10, 11,      // groups 0, 2
                         4, 5, 4, 7, 6, 5, 6, 7, 12, 13, 12, 15, 14, 13, 14, 15); // 1, 3
    const int steps = groups / 4;
    Batched(
        k, steps, destination,
        [&](int s, std::uint8_t* out) VOCALYN_AVX2 {
            const __m256i bytes = _mm256_broadcastsi128_si256(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 16 * s)));
            return StoreYuy2Pairs(k, _mm256_shuffle_epi8(bytes, toPairs), out);
        },
        [&](int s, int i) {
            const std::uint8_t* group = source + 16 * s + 4 * (i / 4);
            return Yuv{group[i % 4 < 2 ? 0 : 2], group[1], group[3]};
        });
    ScalarKernels().y211(source + 16 * steps, destination + 64 * steps, groups - 4 * steps);
}

// A step is 2 groups (24 bytes, 16 pixels); each 128-bit half loads one.
VOCALYN_AVX2 void Y41PRowAvx2(const std::uint8_t* source, std::uint8_t* destination, int pixels) {
    const Constants k = MakeConstants();
    // The first half holds the step's bytes 0-15, the second its bytes 8-23.
    const __m256i toPairs =
        _mm256_setr_epi8(1, 0, 3, 2, 5, 0, 7, 2, 8, 4, 9, 6, 10, 4, 11, 6,       // group 0
                         5, 4, 7, 6, 9, 4, 11, 6, 12, 8, 13, 10, 14, 8, 15, 10); // group 1
    const int steps = pixels / 16;
    Batched(
        k, steps, destination,
        [&](int s, std::uint8_t* out) VOCALYN_AVX2 {
            const std::uint8_t* step = source + 24 * s;
            const __m256i bytes = _mm256_inserti128_si256(
                _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(step))),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(step + 8)), 1);
            return StoreYuy2Pairs(
                k, _mm256_permute4x64_epi64(_mm256_shuffle_epi8(bytes, toPairs), 0xD8), out);
        },
        [&](int s, int i) {
            const std::uint8_t* group = source + 24 * s + 12 * (i / 8);
            const int chroma = Y41PChromaAt(i % 8);
            return Yuv{group[kY41PLumaAt[i % 8]], group[chroma], group[chroma + 2]};
        });
    ScalarKernels().y41p(source + 24 * steps, destination + 64 * steps, pixels - 16 * steps);
}

// A step is 16 pixels: 4 groups, each with one chroma sample.
VOCALYN_AVX2 void Yvu9RowAvx2(const std::uint8_t* luma, const std::uint8_t* u,
                              const std::uint8_t* v, std::uint8_t* destination, int groups) {
    const Constants k = MakeConstants();
    const int steps = groups / 4;
    Batched(
        k, steps, destination,
        [&](int s, std::uint8_t* out) VOCALYN_AVX2 {
            const __m256i pairLuma = LoadLuma(luma + 16 * s);
            return StorePairs(
                k, _mm256_and_si256(pairLuma, k.lowWord32), _mm256_srli_epi32(pairLuma, 16),
                SumsOfPairs(k, LoadQuarterChroma(u + 4 * s), LoadQuarterChroma(v + 4 * s)), out);
        },
        [&](int s, int i) {
            return Yuv{luma[16 * s + i], u[4 * s + i / 4], v[4 * s + i / 4]};
        });
    ScalarKernels().yvu9(luma + 16 * steps, u + 4 * steps, v + 4 * steps, destination + 64 * steps,
                         groups - 4 * steps);
}

// The chroma of a step serves both rows.
VOCALYN_AVX2 void I420RowsAvx2(const std::uint8_t* luma0, const std::uint8_t* luma1,
                               const std::uint8_t* u, const std::uint8_t* v,
                               std::uint8_t* destination0, std::uint8_t* destination1, int pairs) {
    const Constants k = MakeConstants();
    const std::uint8_t* const luma[2] = {luma0, luma1};
    std::uint8_t* const destinations[2] = {destination0, destination1};
    int i = 0;
    while (i + 8 <= pairs) {
        const int steps = std::min(kBatchSteps, (pairs - i) / 8);
        __m256i highest = _mm256_setzero_si256();
        for (int step = 0; step < steps; ++step) {
            const int at = i + 8 * step;
            const PairSums sums = SumsOfPairs(k, LoadChroma(u + at), LoadChroma(v + at));
            for (int row = 0; row < 2; ++row) {
                const __m256i pairLuma = LoadLuma(luma[row] + 2 * at);
                highest =
                    _mm256_max_epu16(highest, StorePairs(k, _mm256_and_si256(pairLuma, k.lowWord32),
                                                         _mm256_srli_epi32(pairLuma, 16), sums,
                                                         destinations[row] + 8 * at));
            }
        }
        // Both rows share the lanes' chroma, so a flagged lane is looked at in both.
        if (const unsigned flagged = FlaggedLanes(k, highest))
            for (int row = 0; row < 2; ++row)
                RecheckLanes(flagged, 0, steps, destinations[row] + 8 * i, [&](int s, int pixel) {
                    const int at = i + 8 * s;
                    return Yuv{luma[row][2 * at + pixel], u[at + pixel / 2], v[at + pixel / 2]};
                });
        i += 8 * steps;
    }
    ScalarKernels().i420(luma0 + 2 * i, luma1 + 2 * i, u + i, v + i, destination0 + 8 * i,
                         destination1 + 8 * i, pairs - i);
}

VOCALYN_AVX2 void GreyRowAvx2(const std::uint8_t* luma, std::uint8_t* destination, int pixels) {
    // Each luma byte to bytes 0-2 of its pixel; byte 3 stays 0.
    const __m256i first = _mm256_setr_epi8(0, 0, 0, -1, 1, 1, 1, -1, 2, 2, 2, -1, 3, 3, 3, -1, 4, 4,
                                           4, -1, 5, 5, 5, -1, 6, 6, 6, -1, 7, 7, 7, -1);
    // Written out: `first` plus 8 would turn its -1s into 7s, luma in byte 3.
    const __m256i second =
        _mm256_setr_epi8(8, 8, 8, -1, 9, 9, 9, -1, 10, 10, 10, -1, 11, 11, 11, -1, 12, 12, 12, -1,
                         13, 13, 13, -1, 14, 14, 14, -1, 15, 15, 15, -1);
    int x = 0;
    for (; x + 16 <= pixels; x += 16) {
        const __m256i bytes = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + x)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + 4 * x),
                            _mm256_shuffle_epi8(bytes, first));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + 4 * x + 32),
                            _mm256_shuffle_epi8(bytes, second));
    }
    ScalarKernels().y8(luma + x, destination + 4 * x, pixels - x);
}

} // namespace vocalyn::video::detail

#endif
