#include "video/conversion/BitmapFile.h"

#include <QtEndian>

#include <cstdlib>

namespace vocalyn::video {

void BuildBitmapHeader(BITMAPINFOHEADER& header, int width, int height, int bits) {
    header = {};
    header.biSize = kBitmapInfoHeaderSize;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<std::uint16_t>(bits);
    header.biCompression = 0; // BI_RGB
    header.biSizeImage = static_cast<std::uint32_t>(
        RowBytes(static_cast<std::int64_t>(width) * bits) * std::llabs(height) * header.biPlanes);
}

namespace {

template <class T> void Put(QByteArray& bytes, std::size_t at, T value) {
    qToLittleEndian(value, bytes.data() + at);
}

template <class T> T Get(const QByteArray& block, std::size_t at) {
    QByteArray field = block.mid(static_cast<qsizetype>(at), sizeof(T));
    field.resize(sizeof(T), '\0');
    return qFromLittleEndian<T>(field.constData());
}

} // namespace

QByteArray BitmapHeaderBytes(const BITMAPINFOHEADER& header) {
    QByteArray bytes(kBitmapInfoHeaderSize, '\0');
    Put(bytes, 0, header.biSize);
    Put(bytes, 4, header.biWidth);
    Put(bytes, 8, header.biHeight);
    Put(bytes, 12, header.biPlanes);
    Put(bytes, 14, header.biBitCount);
    Put(bytes, 16, header.biCompression);
    Put(bytes, 20, header.biSizeImage);
    Put(bytes, 24, header.biXPelsPerMeter);
    Put(bytes, 28, header.biYPelsPerMeter);
    Put(bytes, 32, header.biClrUsed);
    Put(bytes, 36, header.biClrImportant);
    return bytes;
}

BITMAPINFOHEADER ReadBitmapHeader(const QByteArray& block) {
    BITMAPINFOHEADER header;
    header.biSize = Get<std::uint32_t>(block, 0);
    header.biWidth = Get<std::int32_t>(block, 4);
    header.biHeight = Get<std::int32_t>(block, 8);
    header.biPlanes = Get<std::uint16_t>(block, 12);
    header.biBitCount = Get<std::uint16_t>(block, 14);
    header.biCompression = Get<std::uint32_t>(block, 16);
    header.biSizeImage = Get<std::uint32_t>(block, 20);
    header.biXPelsPerMeter = Get<std::int32_t>(block, 24);
    header.biYPelsPerMeter = Get<std::int32_t>(block, 28);
    header.biClrUsed = Get<std::uint32_t>(block, 32);
    header.biClrImportant = Get<std::uint32_t>(block, 36);
    return header;
}

} // namespace vocalyn::video
