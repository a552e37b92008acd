#include "widgets/PictureEnlarger.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vocalyn {

namespace {

constexpr int kWeightBits = 7;
constexpr int kOne = 1 << kWeightBits;
constexpr int kShift = 2 * kWeightBits; // two blends of 128ths
constexpr int kRound = 1 << (kShift - 1);

// Where the centre of result line `index` of `count` falls among `size` picture lines, as the
// first of the two lines it lies between and the weight of the second, in 128ths. Beyond the
// centres of the first and last picture lines, the edge line alone.
std::pair<int, int> Between(int index, int count, int size) {
    const std::int64_t at =
        (std::int64_t{2 * index + 1} * size - count) * kOne / (2 * std::int64_t{count});
    if (at <= 0)
        return {0, 0};
    const auto first = static_cast<int>(at >> kWeightBits);
    if (first >= size - 1)
        return {size - 2, kOne};
    return {first, static_cast<int>(at & (kOne - 1))};
}

std::uint32_t WeightPair(int weight) {
    return static_cast<std::uint32_t>(kOne - weight) | static_cast<std::uint32_t>(weight) << 16;
}

// One channel of a pixel pair blended across: at most 255 x 128, so it fits 16 bits.
std::int16_t AcrossChannel(std::uint32_t first, std::uint32_t second, int channel,
                           std::uint32_t weights) {
    const int a = static_cast<int>(first >> 8 * channel & 0xFF);
    const int b = static_cast<int>(second >> 8 * channel & 0xFF);
    return static_cast<std::int16_t>(a * static_cast<int>(weights & 0xFFFF) +
                                     b * static_cast<int>(weights >> 16));
}

void AcrossScalar(const std::uint32_t* pixels, const std::uint32_t* columns,
                  const std::uint32_t* weights, int from, int width, std::int16_t* out) {
    for (int x = from; x < width; ++x) {
        const std::uint32_t first = pixels[columns[x]];
        const std::uint32_t second = pixels[columns[x] + 1];
        for (int channel = 0; channel < 4; ++channel)
            out[4 * x + channel] = AcrossChannel(first, second, channel, weights[x]);
    }
}

void BlendScalar(const std::int16_t* upper, const std::int16_t* lower, int weight, int from,
                 int values, std::uint8_t* out) {
    for (int i = from; i < values; ++i)
        out[i] = static_cast<std::uint8_t>(
            (upper[i] * (kOne - weight) + lower[i] * weight + kRound) >> kShift);
}

#if defined(__SSE2__)
// Two result pixels a step: both pixel pairs in one register, widened to 16 bits, each
// channel's two values side by side, then one multiply-add with each pixel's weights.
int AcrossVector(const std::uint32_t* pixels, const std::uint32_t* columns,
                 const std::uint32_t* weights, int width, std::int16_t* out) {
    const __m128i zero = _mm_setzero_si128();
    int x = 0;
    for (; x + 2 <= width; x += 2) {
        __m128i pairs = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pixels + columns[x]));
        pairs = _mm_castpd_si128(_mm_loadh_pd(
            _mm_castsi128_pd(pairs), reinterpret_cast<const double*>(pixels + columns[x + 1])));
        __m128i first = _mm_unpacklo_epi8(pairs, zero);
        __m128i second = _mm_unpackhi_epi8(pairs, zero);
        first = _mm_unpacklo_epi16(first, _mm_srli_si128(first, 8));
        second = _mm_unpacklo_epi16(second, _mm_srli_si128(second, 8));
        first = _mm_madd_epi16(first, _mm_set1_epi32(static_cast<int>(weights[x])));
        second = _mm_madd_epi16(second, _mm_set1_epi32(static_cast<int>(weights[x + 1])));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), _mm_packs_epi32(first, second));
    }
    return x;
}

// Sixteen values (four pixels) a step.
int BlendVector(const std::int16_t* upper, const std::int16_t* lower, int weight, int values,
                std::uint8_t* out) {
    const __m128i weights = _mm_set1_epi32(static_cast<int>(WeightPair(weight)));
    const __m128i round = _mm_set1_epi32(kRound);
    const auto blend = [&](__m128i a, __m128i b) {
        const __m128i low = _mm_srai_epi32(
            _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), weights), round), kShift);
        const __m128i high = _mm_srai_epi32(
            _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a, b), weights), round), kShift);
        return _mm_packs_epi32(low, high);
    };
    int i = 0;
    for (; i + 16 <= values; i += 16) {
        const auto* a = reinterpret_cast<const __m128i*>(upper + i);
        const auto* b = reinterpret_cast<const __m128i*>(lower + i);
        const __m128i first = blend(_mm_loadu_si128(a), _mm_loadu_si128(b));
        const __m128i second = blend(_mm_loadu_si128(a + 1), _mm_loadu_si128(b + 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(first, second));
    }
    return i;
}
#endif

} // namespace

PictureEnlarger::PictureEnlarger(bool vector) : vector_(vector) {}

bool PictureEnlarger::Takes(const QImage& picture, QSize size) {
    const QImage::Format format = picture.format();
    return (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32_Premultiplied) &&
           picture.width() >= 2 && picture.height() >= 2 && size.width() >= picture.width() &&
           size.height() >= picture.height();
}

const QImage& PictureEnlarger::Enlarge(const QImage& picture, QSize size) {
    if (!Takes(picture, size)) {
        result_ = QImage();
        return result_;
    }
    if (result_.size() != size || result_.format() != picture.format() || !result_.isDetached())
        result_ = QImage(size, picture.format());
    if (result_.isNull())
        return result_;
    const int width = size.width();
    columns_.resize(static_cast<std::size_t>(width));
    weights_.resize(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        const auto [first, weight] = Between(x, width, picture.width());
        columns_[static_cast<std::size_t>(x)] = static_cast<std::uint32_t>(first);
        weights_[static_cast<std::size_t>(x)] = WeightPair(weight);
    }
    for (auto& row : rows_)
        row.resize(static_cast<std::size_t>(width) * 4);
    rowOf_[0] = rowOf_[1] = -1;
    const int values = width * 4;
    for (int y = 0; y < size.height(); ++y) {
        const auto [first, weight] = Between(y, size.height(), picture.height());
        const std::int16_t* upper = Across(picture, first, first + 1);
        const std::int16_t* lower = Across(picture, first + 1, first);
        std::uint8_t* out = result_.scanLine(y);
        int done = 0;
#if defined(__SSE2__)
        if (vector_)
            done = BlendVector(upper, lower, weight, values, out);
#endif
        BlendScalar(upper, lower, weight, done, values, out);
    }
    return result_;
}

// Picture row `row` scaled across, kept while it is one of the two rows in use; `other` is the
// second of those.
const std::int16_t* PictureEnlarger::Across(const QImage& picture, int row, int other) {
    for (int slot = 0; slot < 2; ++slot)
        if (rowOf_[slot] == row)
            return rows_[slot].data();
    const int slot = rowOf_[0] == other ? 1 : 0;
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(picture.constScanLine(row));
    std::int16_t* out = rows_[slot].data();
    const int width = static_cast<int>(columns_.size());
    int done = 0;
#if defined(__SSE2__)
    if (vector_)
        done = AcrossVector(pixels, columns_.data(), weights_.data(), width, out);
#endif
    AcrossScalar(pixels, columns_.data(), weights_.data(), done, width, out);
    rowOf_[slot] = row;
    return out;
}

} // namespace vocalyn
