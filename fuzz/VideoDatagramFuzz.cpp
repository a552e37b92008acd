// Feeds arbitrary bytes to the video datagram reader, as the video listener does, with one
// decoder for the whole run, and checks what comes out: nothing, or an opaque 32-bit picture
// within the decoder's limits.

#include "fuzz/FuzzCheck.h"
#include "video/transport/JpegCodec.h"
#include "video/transport/VideoDatagram.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace {} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vocalyn::video::JpegDecoder decoder(vocalyn::video::kVideoDatagramLimits); // reused
    if (size > vocalyn::video::kMaxVideoDatagram)
        return -1; // no datagram is longer
    const QImage picture = vocalyn::video::ReadVideoDatagram(decoder, std::span(data, size));
    if (picture.isNull())
        return 0;
    const vocalyn::video::JpegLimits& limits = decoder.limits();
    CHECK(picture.format() == QImage::Format_RGB32);
    CHECK(picture.width() >= 1 && picture.width() <= limits.maxWidth);
    CHECK(picture.height() >= 1 && picture.height() <= limits.maxHeight);
    CHECK(std::size_t(picture.width()) * std::size_t(picture.height()) <= limits.maxPixels);
    // The fourth byte of every pixel is 0xFF, as 32-bit RGB requires.
    for (int y = 0; y < picture.height(); y += 1 + picture.height() / 16) {
        const auto* row = reinterpret_cast<const uint32_t*>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); x += 1 + picture.width() / 16)
            CHECK((row[x] >> 24) == 0xFF);
    }
    return 0;
}
