#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace vocalyn::video {

// A bitmap header as the capture drivers and bitmap files lay it out: 40
// bytes, little-endian, no padding.
struct BITMAPINFOHEADER {
    std::uint32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0; // positive: bottom-up rows
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};

constexpr std::size_t kBitmapInfoHeaderSize = 40;

// Bytes of a row of `bits` bits, padded to whole 32-bit words.
constexpr std::int64_t RowBytes(std::int64_t bits) {
    return (bits + 31) / 32 * 4;
}

// An uncompressed bottom-up header of one plane; the image size counts the
// rows of a negative height too.
void BuildBitmapHeader(BITMAPINFOHEADER& header, int width, int height, int bits);

// The header's 40 bytes.
QByteArray BitmapHeaderBytes(const BITMAPINFOHEADER& header);
// The header at the start of a format block; bytes the block lacks read as 0.
BITMAPINFOHEADER ReadBitmapHeader(const QByteArray& block);

} // namespace vocalyn::video
