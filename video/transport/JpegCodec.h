#pragma once

#include "video/conversion/CameraFrame.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace vocalyn::video {

// A baseline JPEG encoder: one libjpeg compression object, reused for every picture.
class JpegEncoder {
public:
    JpegEncoder(); // throws std::bad_alloc when libjpeg cannot set up
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    struct Result {
        std::size_t size = 0; // the JPEG file's length; 0 when nothing was written
        bool tooLong = false; // the file would not fit into the output
    };

    // Encodes with the defaults of jpeg_set_defaults, `quality` with baseline tables forced, the
    // float DCT, straight into `out`. Pixels go in as they lie, whatever their layout: the
    // colour conversion happens inside libjpeg, with the same result as from 24-bit RGB.
    Result Encode(const PictureView& picture, int quality, std::span<std::uint8_t> out);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// What a received file may ask of the decoder.
struct JpegLimits {
    int maxWidth = 4096;
    int maxHeight = 4096;
    // Width times height; 0 leaves only the two sides bounded.
    std::size_t maxPixels = 0;
    // A sequential file has one scan per component at most; progressive ones about ten.
    int maxScans = 32;
    // The decoded picture plus libjpeg's whole-image buffers (progressive files need them).
    std::size_t maxMemory = std::size_t{96} << 20;
    // Only what JpegEncoder writes: a baseline frame (SOF0, Huffman-coded, 8 bits), grey or
    // three components, all of them in one scan. Anything else is refused from its headers,
    // before a pixel is decoded.
    bool baselineOnly = false;
};

// A JPEG decoder: one libjpeg decompression object, reused for every file.
class JpegDecoder {
public:
    explicit JpegDecoder(JpegLimits limits = {}); // throws std::bad_alloc like JpegEncoder
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    // One whole JPEG file decoded at full size with the float IDCT and block smoothing, colour
    // and grey alike, to 32-bit RGB. A null image when the bytes are not a valid JPEG file,
    // when libjpeg finds corrupt data in it, or when it asks for more than the limits allow.
    QImage Decode(std::span<const std::uint8_t> file);

    const JpegLimits& limits() const { return limits_; }

private:
    // Reads the headers and checks them; on true the object is ready for its scanlines,
    // otherwise it has been aborted.
    bool ReadHeaders(std::span<const std::uint8_t> file);

    struct State;
    JpegLimits limits_;
    std::unique_ptr<State> state_;
};

} // namespace vocalyn::video
