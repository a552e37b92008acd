#pragma once

// Pictures for the video transport's tests: sharp synthetic content, noise that JPEG cannot
// squeeze, and comparisons within JPEG error.

#include "video/transport/JpegCodec.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <cstdint>
#include <random>
#include <span>
#include <vector>

namespace vocalyn::test {

// A diagonal colour gradient with uniform noise of +-amplitude on every channel.
inline QImage NoisyPicture(int width, int height, int amplitude, unsigned seed = 1) {
    QImage image(width, height, QImage::Format_RGB888);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-amplitude, amplitude);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const int base[3] = {x * 255 / width, y * 255 / height,
                                 (x + y) * 255 / (width + height)};
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] =
                    static_cast<std::uint8_t>(std::clamp(base[c] + noise(random), 0, 255));
        }
    }
    return image;
}

inline video::PictureView ViewOf(const QImage& rgb888) {
    return {rgb888.constBits(), rgb888.width(), rgb888.height(), rgb888.bytesPerLine(),
            video::PixelLayout::RGB};
}

inline std::span<const std::uint8_t> BytesOf(const QByteArray& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
            static_cast<std::size_t>(bytes.size())};
}

// A JPEG file of the picture as the encoder writes it at a quality; empty when it fails.
inline QByteArray EncodeFile(const QImage& picture, int quality = 90) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    std::vector<std::uint8_t> out(std::size_t(rgb.width()) * rgb.height() * 4 + 65536);
    video::JpegEncoder encoder;
    const auto result = encoder.Encode(ViewOf(rgb), quality, out);
    return QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(result.size));
}

// A JPEG file written by Qt's own image writer (grey, progressive and other variants).
inline QByteArray QtJpeg(const QImage& picture, bool progressive = false, int quality = 90) {
    QByteArray file;
    QBuffer buffer(&file);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    writer.write(picture);
    return file;
}

// The mean absolute difference per channel; a huge value when the sizes differ.
inline double MeanDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull())
        return 1e9;
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int i = 0; i < x.width() * 3; ++i)
            sum += std::abs(int(x.constScanLine(row)[i]) - int(y.constScanLine(row)[i]));
    return sum / (double(x.width()) * x.height() * 3);
}

} // namespace vocalyn::test
