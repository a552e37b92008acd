#include "video/capture/PreviewImage.h"

#include "video/conversion/YUVConverters.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vocalyn::video {

namespace {

QImage BottomUp(const std::uint8_t* data, int width, int height, qsizetype rowBytes,
                QImage::Format format) {
    // The wrapper borrows the frame; mirroring makes the copy that outlives it.
    const QImage rows(data, width, height, rowBytes, format);
    return rows.mirrored(false, true);
}

// Byte by byte, the mean of two words rounded down, with no carry between the bytes.
constexpr std::uint32_t MeanBytes(std::uint32_t a, std::uint32_t b) {
    return (a & b) + (((a ^ b) & 0xFEFEFEFEu) >> 1);
}

// The first of the two source lines (rows, or samples along a row) that cover the middle of line
// `index` of `count` lines made from `size` lines, at least as many: that middle lies at
// (index + 1/2) x size / count. Made from as many, each line is its own.
int BlockStart(int index, int count, int size) {
    if (count >= size)
        return index;
    const std::int64_t start =
        (std::int64_t{2 * index + 1} * size - count) / (2 * std::int64_t{count});
    return static_cast<int>(std::clamp<std::int64_t>(start, 0, size - 2));
}

std::uint32_t Word(const std::uint8_t* at) {
    std::uint32_t word;
    std::memcpy(&word, at, 4);
    return word;
}

// Two rows as one, byte by byte, rounding halves up: sixteen bytes at a time where the
// processor has SSE2, which is quicker than averaging the sampled pairs one by one.
void MeanRow(const std::uint8_t* upper, const std::uint8_t* lower, std::size_t bytes,
             std::uint8_t* out) {
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= bytes; i += 16)
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(out + i),
            _mm_avg_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(upper + i)),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower + i))));
#endif
    for (; i < bytes; ++i)
        out[i] = static_cast<std::uint8_t>((upper[i] + lower[i] + 1) >> 1);
}

// The row a sampled row is read from: `upper` itself when the frame keeps its height, else the
// mean of `upper` and the row `below` it away, made in `mean`.
const std::uint8_t* SourceRow(const std::uint8_t* upper, std::ptrdiff_t below, bool ownHeight,
                              std::size_t bytes, std::vector<std::uint8_t>& mean) {
    if (ownHeight)
        return upper;
    mean.resize(bytes);
    MeanRow(upper, upper + below, bytes, mean.data());
    return mean.data();
}

// Byte by byte, the mean of two words rounded up.
constexpr std::uint32_t MeanBytesUp(std::uint32_t a, std::uint32_t b) {
    return (a | b) - (((a ^ b) & 0xFEFEFEFEu) >> 1);
}

#if defined(__SSE2__)
// The words at four offsets of two rows, each the byte-by-byte mean of its two, rounded up.
__m128i MeanWords(const std::uint8_t* upper, const std::uint8_t* lower, const std::uint32_t* at) {
    const auto words = [at](const std::uint8_t* row) {
        return _mm_setr_epi32(
            static_cast<int>(Word(row + at[0])), static_cast<int>(Word(row + at[1])),
            static_cast<int>(Word(row + at[2])), static_cast<int>(Word(row + at[3])));
    };
    return upper == lower ? words(upper) : _mm_avg_epu8(words(upper), words(lower));
}
#endif

// A packed frame (pairs of pixels as four bytes) sampled down to width x height pixels, each
// pixel the mean of the 2 x 2 luma samples of the pair its middle falls in and the row below,
// and each pair's chroma the mean of theirs. The rows are written last first: the converters turn
// rows over, so that the picture comes out the right way up. Only the sampled words are read,
// four pairs at a time where the processor has SSE2: averaging whole rows first read seven
// times as many bytes as a 176-pixel preview of a 640-pixel frame uses.
template <int FirstLuma>
void SamplePacked(const std::uint8_t* source, int sourceWidth, int sourceHeight, int width,
                  int height, std::vector<std::uint32_t>& columns, std::uint8_t* target) {
    static_assert(std::endian::native == std::endian::little);
    constexpr int kSecondLuma = FirstLuma + 2;
    constexpr std::uint32_t chroma = FirstLuma == 0 ? 0xFF00FF00u : 0x00FF00FFu;
    // The word of each output pair's left pixel, then those of the right ones.
    const std::size_t pairs = static_cast<std::size_t>(width) / 2;
    columns.resize(2 * pairs);
    const std::uint32_t* lefts = columns.data();
    const std::uint32_t* rights = columns.data() + pairs;
    for (std::size_t pair = 0; pair < pairs; ++pair)
        for (std::size_t side = 0; side < 2; ++side)
            columns[side * pairs + pair] = static_cast<std::uint32_t>(
                BlockStart(static_cast<int>(2 * pair + side), width, sourceWidth) / 2 * 4);
    const std::size_t rowBytes = static_cast<std::size_t>(sourceWidth) * 2;
    const auto lumaOf = [](std::uint32_t pair) {
        return (((pair >> 8 * FirstLuma) & 0xFF) + ((pair >> 8 * kSecondLuma) & 0xFF) + 1) >> 1;
    };
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* upper =
            source + rowBytes * static_cast<std::size_t>(BlockStart(row, height, sourceHeight));
        const std::uint8_t* lower = sourceHeight == height ? upper : upper + rowBytes;
        std::uint8_t* out = target + static_cast<std::size_t>(height - 1 - row) * width * 2;
        std::size_t pair = 0;
#if defined(__SSE2__)
        const __m128i chromaMask = _mm_set1_epi32(static_cast<int>(chroma));
        const __m128i firstMask = _mm_set1_epi32(0xFF << 8 * FirstLuma);
        const __m128i secondMask = _mm_set1_epi32(0xFF << 8 * kSecondLuma);
        const __m128i lowBits = _mm_set1_epi8(1);
        for (; pair + 4 <= pairs; pair += 4, out += 16) {
            const __m128i a = MeanWords(upper, lower, lefts + pair);
            const __m128i b = MeanWords(upper, lower, rights + pair);
            // The chroma's mean rounded down: the rounded-up one, less the odd halves.
            const __m128i means =
                _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), lowBits));
            const __m128i lumaA = _mm_avg_epu8(a, _mm_srli_epi32(a, 16));
            const __m128i lumaB = _mm_avg_epu8(b, _mm_slli_epi32(b, 16));
            const __m128i mixed = _mm_or_si128(
                _mm_and_si128(means, chromaMask),
                _mm_or_si128(_mm_and_si128(lumaA, firstMask), _mm_and_si128(lumaB, secondMask)));
            // At the frame's own width, each pixel is its own.
            const __m128i own =
                _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lefts + pair)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(rights + pair)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                             _mm_or_si128(_mm_and_si128(own, a), _mm_andnot_si128(own, mixed)));
        }
#endif
        for (; pair < pairs; ++pair, out += 4) {
            const std::uint32_t left = lefts[pair];
            const std::uint32_t right = rights[pair];
            const std::uint32_t a = MeanBytesUp(Word(upper + left), Word(lower + left));
            const std::uint32_t b = MeanBytesUp(Word(upper + right), Word(lower + right));
            const std::uint32_t mixed = left == right ? a
                                                      : (MeanBytes(a, b) & chroma) |
                                                            lumaOf(a) << 8 * FirstLuma |
                                                            lumaOf(b) << 8 * kSecondLuma;
            std::memcpy(out, &mixed, 4);
        }
    }
}

// A 24- or 32-bit RGB frame sampled down to width x height pixels the right way up, each the
// mean of the 2 x 2 block its middle falls in. `first` is the top row and `step` the distance to
// the next one down, negative for a frame stored bottom-up.
template <int Bytes>
void SampleRgb(const std::uint8_t* first, std::ptrdiff_t step, int sourceWidth, int sourceHeight,
               int width, int height, std::vector<std::uint32_t>& columns,
               std::vector<std::uint8_t>& mean, QImage& target) {
    columns.resize(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x)
        columns[static_cast<std::size_t>(x)] =
            static_cast<std::uint32_t>(BlockStart(x, width, sourceWidth) * Bytes);
    // At the frame's own width, each pixel is its own.
    const std::uint32_t right = sourceWidth == width ? 0 : Bytes;
    const auto pixel = [](const std::uint8_t* at) {
        std::uint32_t value = 0;
        std::memcpy(&value, at, 3); // a 32-bit pixel's fourth byte is not colour
        return value;
    };
    const auto rowBytes = static_cast<std::size_t>(sourceWidth) * Bytes;
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* line = SourceRow(first + step * BlockStart(row, height, sourceHeight),
                                             step, sourceHeight == height, rowBytes, mean);
        auto* out = reinterpret_cast<std::uint32_t*>(target.scanLine(row));
        for (int x = 0; x < width; ++x) {
            const std::uint32_t at = columns[static_cast<std::size_t>(x)];
            out[x] = 0xFF000000u | MeanBytes(pixel(line + at), pixel(line + at + right));
        }
    }
}

} // namespace

QImage& PreviewMaker::NextPicture(QSize size) {
    QImage& picture = pictures_[next_];
    next_ ^= 1;
    if (picture.size() != size || !picture.isDetached())
        picture = QImage(size, QImage::Format_RGB32);
    return picture;
}

PreviewFrame PreviewMaker::Make(const BITMAPINFOHEADER& format, std::span<const std::uint8_t> frame,
                                QSize shown) {
    const int frameClass = ClassifyFormat(format.biCompression);
    const int width = format.biWidth;
    const int height = std::abs(format.biHeight);
    // Sampling takes two rows and two columns; a smaller frame is left to the painter to scale.
    if (shown.isEmpty() || height < 2 || width < 2 || width < shown.width() ||
        height < shown.height())
        return PreviewPicture(format, frame);
    const bool packed = frameClass == kClassYUY2 || frameClass == kClassUYVY;
    // An odd width would leave the converter a last pixel without its pair.
    if (packed && shown.width() % 2 == 0 && width % 2 == 0 &&
        frame.size() >= SourceFrameBytes(frameClass, width, height)) {
        small_.resize(SourceFrameBytes(frameClass, shown.width(), shown.height()));
        // YUY2 is Y0 U Y1 V, UYVY is U Y0 V Y1.
        (frameClass == kClassYUY2 ? SamplePacked<0>
                                  : SamplePacked<1>)(frame.data(), width, height, shown.width(),
                                                     shown.height(), columns_, small_.data());
        QImage& picture = NextPicture(shown);
        ConvertFrame(frameClass, small_.data(), picture.bits(), shown.width(), shown.height());
        return {picture, false};
    }
    if (format.biCompression == kBI_RGB && (format.biBitCount == 24 || format.biBitCount == 32)) {
        const int bytes = format.biBitCount / 8;
        const auto rowBytes =
            static_cast<std::ptrdiff_t>(RowBytes(std::int64_t{width} * bytes * 8));
        if (frame.size() < static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height))
            return {};
        // A positive height stores the picture bottom-up.
        const bool bottomUp = format.biHeight > 0;
        const std::uint8_t* first = frame.data() + (bottomUp ? rowBytes * (height - 1) : 0);
        const std::ptrdiff_t step = bottomUp ? -rowBytes : rowBytes;
        QImage& picture = NextPicture(shown);
        (bytes == 3 ? SampleRgb<3> : SampleRgb<4>)(first, step, width, height, shown.width(),
                                                   shown.height(), columns_, mean_, picture);
        return {picture, false};
    }
    return PreviewPicture(format, frame);
}

PreviewFrame PreviewPicture(const BITMAPINFOHEADER& format, std::span<const std::uint8_t> frame) {
    const int width = format.biWidth;
    const int height = std::abs(format.biHeight);
    if (width <= 0 || height <= 0 || frame.empty())
        return {};
    const int frameClass = ClassifyFormat(format.biCompression);
    if (frameClass == kClassRGB) {
        QImage::Format layout;
        switch (format.biBitCount) {
        case 16:
            layout = format.biCompression == kBI_BITFIELDS ? QImage::Format_RGB16
                                                           : QImage::Format_RGB555;
            break;
        case 24:
            layout = QImage::Format_BGR888;
            break;
        case 32:
            layout = QImage::Format_RGB32;
            break;
        default:
            return {};
        }
        const qsizetype rowBytes = (qsizetype{width} * format.biBitCount + 31) / 32 * 4;
        if (frame.size() < static_cast<std::size_t>(rowBytes * height))
            return {};
        // A negative height marks rows stored top down. Either way the picture is a copy: the
        // frame's bytes are the driver's and go back to it.
        if (format.biHeight < 0)
            return {QImage(frame.data(), width, height, rowBytes, layout).copy()};
        return {BottomUp(frame.data(), width, height, rowBytes, layout)};
    }
    if (frameClass != kClassUnknown) {
        if (frame.size() < SourceFrameBytes(frameClass, width, height))
            return {};
        QImage pixels(width, height, QImage::Format_RGB32);
        // Every converter reaches each pixel of a picture of whole 8 x 4 blocks.
        if (width % 8 != 0 || height % 4 != 0)
            pixels.fill(Qt::black);
        ConvertFrame(frameClass, frame.data(), pixels.bits(), width, height);
        return {std::move(pixels), true};
    }
    if (format.biCompression == FourCC('M', 'J', 'P', 'G') ||
        format.biCompression == FourCC('J', 'P', 'E', 'G'))
        return {QImage::fromData(frame.data(), static_cast<int>(frame.size()), "JPG")};
    return {};
}

QImage PreviewImage(const BITMAPINFOHEADER& format, std::span<const std::uint8_t> frame) {
    PreviewFrame picture = PreviewPicture(format, frame);
    return picture.bottomUp ? picture.image.mirrored(false, true) : std::move(picture.image);
}

} // namespace vocalyn::video
