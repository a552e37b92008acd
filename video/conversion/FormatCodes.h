#pragma once

#include "video/conversion/BitmapFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vocalyn::video {

// A four-character code, its first character in the lowest byte.
constexpr std::uint32_t FourCC(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

constexpr std::uint32_t kBI_RGB = 0;
constexpr std::uint32_t kBI_BITFIELDS = 3;

// The header a driver reports for frames of this kind: one plane, no colour
// table, the rest 0.
inline BITMAPINFOHEADER FormatHeader(int width, int height, int bits, std::uint32_t compression,
                                     std::uint32_t sizeImage) {
    BITMAPINFOHEADER header;
    header.biSize = kBitmapInfoHeaderSize;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<std::uint16_t>(bits);
    header.biCompression = compression;
    header.biSizeImage = sizeImage;
    return header;
}

// The header at the start of a format block; nothing when the block is too
// short to hold one.
inline std::optional<BITMAPINFOHEADER> ReadFormatHeader(std::span<const std::byte> block) {
    if (block.size() < kBitmapInfoHeaderSize)
        return std::nullopt;
    return ReadBitmapHeader(QByteArray(reinterpret_cast<const char*>(block.data()),
                                       static_cast<qsizetype>(kBitmapInfoHeaderSize)));
}

} // namespace vocalyn::video
