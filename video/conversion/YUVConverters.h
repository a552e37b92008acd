#pragma once

#include <cstddef>
#include <cstdint>

namespace vocalyn::video {

// Format classes of a driver's biCompression code.
enum FormatClass : int {
    kClassUnknown = 0, // frames are ignored
    kClassRGB = 1,     // BI_RGB or BI_BITFIELDS: copied unchanged
    kClassYUY2 = 2,
    kClassUYVY = 3,
    kClassY41P = 4,
    kClassYVU9 = 5,
    kClassI420 = 6,
    kClassY8 = 7,
    kClassY211 = 8,
};

// The class 0 to 8 of a biCompression code; a four-character code has its
// first character in the lowest byte.
int ClassifyFormat(std::uint32_t code);

// One pixel: blue in the lowest byte, then green, red and 0. This is the
// reference evaluation of the colour formula (80-bit extended precision,
// truncated, then clamped); the converters give exactly its results.
std::uint32_t YUVToRGB(std::uint8_t Y, std::uint8_t U, std::uint8_t V);

// The converters. Each reads a frame in its layout and writes a bottom-up
// picture of 32-bit pixels (blue, green, red, 0), rows width * 4 bytes apart.
// Pixels a converter does not reach keep their content. A height or width
// below 1 writes nothing. Each is ConvertRows into the last row, turned over.
void ConvertYUY2(const std::uint8_t* source, std::uint8_t* destination, int width, int height);
void ConvertUYVY(const std::uint8_t* source, std::uint8_t* destination, int width, int height);
void ConvertY41P(const std::uint8_t* source, std::uint8_t* destination, int width, int height);
void ConvertYVU9(const std::uint8_t* source, std::uint8_t* destination, int width, int height);
void ConvertI420(const std::uint8_t* source, std::uint8_t* destination, int width, int height);
void ConvertY8(const std::uint8_t* source, std::uint8_t* destination, int width, int height);
void ConvertY211(const std::uint8_t* source, std::uint8_t* destination, int width, int height);

// Runs the converter of a class 2 to 8 and returns true; any other class
// converts nothing and returns false.
bool ConvertFrame(int frameClass, const std::uint8_t* source, std::uint8_t* destination, int width,
                  int height);

// The converters' own form, which the frame path uses: source rows `sourceStride` bytes apart
// (the planar layouts take their tight rows, whatever the stride), picture rows written from the
// top `destination` down, `destinationStride` apart (negative to write bottom-up). The first
// source row becomes the top row, except in Y41P, whose first row is the picture's bottom row.
// Same results and same untouched pixels as the converters; false for a class without one.
bool ConvertRows(int frameClass, const std::uint8_t* source, std::ptrdiff_t sourceStride,
                 std::uint8_t* destination, std::ptrdiff_t destinationStride, int width,
                 int height);

// Bytes of one source row of a layout whose frame is one run of rows (YUY2, UYVY, Y41P, Y8,
// Y211); 0 for the planar layouts and classes without a converter.
std::size_t SourceRowBytes(int frameClass, int width);

// The number of source bytes the converter of a class reads for a frame of
// this size, so that a short frame can be refused before it is read; 0 for
// a class without a converter or an empty frame.
std::size_t SourceFrameBytes(int frameClass, int width, int height);

} // namespace vocalyn::video
