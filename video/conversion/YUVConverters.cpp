#include "video/conversion/YUVConverters.h"
#include "video/conversion/YUVRowKernels.h"

namespace vocalyn::video {

namespace {

using detail::ActiveKernels;

bool Empty(int width, int height) {
    return width < 1 || height < 1;
}

// Picture row `row` counted from the top.
std::uint8_t* Row(std::uint8_t* top, std::ptrdiff_t stride, int row) {
    return top + row * stride;
}

// The bottom-up picture of the named converters: its top row is the last in memory.
bool BottomUp(int frameClass, const std::uint8_t* source, std::uint8_t* destination, int width,
              int height) {
    if (Empty(width, height))
        return frameClass >= kClassYUY2 && frameClass <= kClassY211;
    const std::ptrdiff_t stride = std::ptrdiff_t{width} * 4;
    return ConvertRows(frameClass, source,
                       static_cast<std::ptrdiff_t>(SourceRowBytes(frameClass, width)),
                       destination + (height - 1) * stride, -stride, width, height);
}

void Yuy2(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint8_t* top,
          std::ptrdiff_t stride, int width, int height) {
    ActiveKernels().yuy2(source, sourceStride, top, stride, width / 2, height);
}

void Uyvy(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint8_t* top,
          std::ptrdiff_t stride, int width, int height) {
    ActiveKernels().uyvy(source, sourceStride, top, stride, width / 2, height);
}

void Y41P(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint8_t* top,
          std::ptrdiff_t stride, int width, int height) {
    const auto row = ActiveKernels().y41p;
    for (int r = 0; r < height; ++r) // not turned over: the first row is the bottom one
        row(source + r * sourceStride, Row(top, stride, height - 1 - r), width);
}

void Yvu9(const std::uint8_t* source, std::uint8_t* top, std::ptrdiff_t stride, int width,
          int height) {
    const std::size_t chromaWidth = static_cast<std::size_t>((width + 3) / 4);
    const std::size_t chromaPlane = chromaWidth * ((height + 3) / 4);
    const std::uint8_t* vPlane = source + static_cast<std::size_t>(width) * height;
    const std::uint8_t* uPlane = vPlane + chromaPlane;
    const auto row = ActiveKernels().yvu9;
    for (int r = 0; r < height / 4 * 4; ++r)
        row(source + static_cast<std::size_t>(r) * width, uPlane + (r / 4) * chromaWidth,
            vPlane + (r / 4) * chromaWidth, Row(top, stride, r), width / 4);
}

void I420(const std::uint8_t* source, std::uint8_t* top, std::ptrdiff_t stride, int width,
          int height) {
    const std::size_t chromaWidth = static_cast<std::size_t>((width + 1) / 2);
    const std::size_t chromaPlane = chromaWidth * ((height + 1) / 2);
    const std::uint8_t* uPlane = source + static_cast<std::size_t>(width) * height;
    const std::uint8_t* vPlane = uPlane + chromaPlane;
    const auto rows = ActiveKernels().i420;
    for (int pair = 0; pair < height / 2; ++pair) {
        const std::uint8_t* luma0 = source + static_cast<std::size_t>(2 * pair) * width;
        rows(luma0, luma0 + width, uPlane + pair * chromaWidth, vPlane + pair * chromaWidth,
             Row(top, stride, 2 * pair), Row(top, stride, 2 * pair + 1), width / 2);
    }
}

void Y8(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint8_t* top,
        std::ptrdiff_t stride, int width, int height) {
    const auto row = ActiveKernels().y8;
    for (int r = 0; r < height; ++r)
        row(source + r * sourceStride, Row(top, stride, r), width);
}

void Y211(const std::uint8_t* source, std::ptrdiff_t sourceStride, std::uint8_t* top,
          std::ptrdiff_t stride, int width, int height) {
    // Four bytes Y0 U Y1 V cover four pixels: each luma sample twice.
    const auto row = ActiveKernels().y211;
    for (int r = 0; r < height; ++r)
        row(source + r * sourceStride, Row(top, stride, r), width / 4);
}

} // namespace

void ConvertYUY2(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    BottomUp(kClassYUY2, source, destination, width, height);
}

void ConvertUYVY(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    BottomUp(kClassUYVY, source, destination, width, height);
}

void ConvertY41P(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    BottomUp(kClassY41P, source, destination, width, height);
}

void ConvertYVU9(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    BottomUp(kClassYVU9, source, destination, width, height);
}

void ConvertI420(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    BottomUp(kClassI420, source, destination, width, height);
}

void ConvertY8(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    BottomUp(kClassY8, source, destination, width, height);
}

void ConvertY211(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    BottomUp(kClassY211, source, destination, width, height);
}

bool ConvertFrame(int frameClass, const std::uint8_t* source, std::uint8_t* destination, int width,
                  int height) {
    return BottomUp(frameClass, source, destination, width, height);
}

bool ConvertRows(int frameClass, const std::uint8_t* source, std::ptrdiff_t sourceStride,
                 std::uint8_t* destination, std::ptrdiff_t destinationStride, int width,
                 int height) {
    if (frameClass < kClassYUY2 || frameClass > kClassY211)
        return false;
    if (Empty(width, height))
        return true;
    switch (frameClass) {
    case kClassYUY2:
        Yuy2(source, sourceStride, destination, destinationStride, width, height);
        break;
    case kClassUYVY:
        Uyvy(source, sourceStride, destination, destinationStride, width, height);
        break;
    case kClassY41P:
        Y41P(source, sourceStride, destination, destinationStride, width, height);
        break;
    case kClassYVU9:
        Yvu9(source, destination, destinationStride, width, height);
        break;
    case kClassI420:
        I420(source, destination, destinationStride, width, height);
        break;
    case kClassY8:
        Y8(source, sourceStride, destination, destinationStride, width, height);
        break;
    default:
        Y211(source, sourceStride, destination, destinationStride, width, height);
        break;
    }
    return true;
}

std::size_t SourceRowBytes(int frameClass, int width) {
    if (width < 1)
        return 0;
    const std::size_t w = static_cast<std::size_t>(width);
    switch (frameClass) {
    case kClassYUY2:
    case kClassUYVY:
        return w * 2;
    case kClassY41P:
        return (w + 7) / 8 * 12;
    case kClassY8:
        return w;
    case kClassY211:
        return (w + 3) / 4 * 4;
    default:
        return 0;
    }
}

std::size_t SourceFrameBytes(int frameClass, int width, int height) {
    if (Empty(width, height))
        return 0;
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t h = static_cast<std::size_t>(height);
    switch (frameClass) {
    case kClassYUY2:
    case kClassUYVY:
        return w * 2 * h;
    case kClassY41P:
        return (w + 7) / 8 * 12 * h;
    case kClassYVU9:
        return w * h + 2 * ((w + 3) / 4) * ((h + 3) / 4);
    case kClassI420:
        return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2);
    case kClassY8:
        return w * h;
    case kClassY211:
        return (w + 3) / 4 * 4 * h;
    default:
        return 0;
    }
}

} // namespace vocalyn::video
