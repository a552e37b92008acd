#include "video/conversion/YUVConverters.h"
#include "video/conversion/YUVRowKernels.h"

namespace vocalyn::video {

namespace {

using detail::ActiveKernels;

bool Empty(int width, int height) {
    return width < 1 || height < 1;
}

std::uint8_t* Row(std::uint8_t* destination, int width, int row) {
    return destination + static_cast<std::size_t>(row) * width * 4;
}

} // namespace

void ConvertYUY2(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    if (Empty(width, height))
        return;
    // Bottom-up: the first source row is the last picture row.
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(width) * 4;
    ActiveKernels().yuy2(source, stride / 2, Row(destination, width, height - 1), -stride,
                         width / 2, height);
}

void ConvertUYVY(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    if (Empty(width, height))
        return;
    // Bottom-up: the first source row is the last picture row.
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(width) * 4;
    ActiveKernels().uyvy(source, stride / 2, Row(destination, width, height - 1), -stride,
                         width / 2, height);
}

void ConvertY41P(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    if (Empty(width, height))
        return;
    const auto row = ActiveKernels().y41p;
    const std::size_t stride = static_cast<std::size_t>((width + 7) / 8) * 12;
    for (int r = 0; r < height; ++r)
        row(source + r * stride, Row(destination, width, r), width); // not flipped
}

void ConvertYVU9(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    if (Empty(width, height))
        return;
    const std::size_t chromaWidth = static_cast<std::size_t>((width + 3) / 4);
    const std::size_t chromaPlane = chromaWidth * ((height + 3) / 4);
    const std::uint8_t* vPlane = source + static_cast<std::size_t>(width) * height;
    const std::uint8_t* uPlane = vPlane + chromaPlane;
    const auto row = ActiveKernels().yvu9;
    for (int r = 0; r < height / 4 * 4; ++r)
        row(source + static_cast<std::size_t>(r) * width, uPlane + (r / 4) * chromaWidth,
            vPlane + (r / 4) * chromaWidth, Row(destination, width, height - 1 - r), width / 4);
}

void ConvertI420(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    if (Empty(width, height))
        return;
    const std::size_t chromaWidth = static_cast<std::size_t>((width + 1) / 2);
    const std::size_t chromaPlane = chromaWidth * ((height + 1) / 2);
    const std::uint8_t* uPlane = source + static_cast<std::size_t>(width) * height;
    const std::uint8_t* vPlane = uPlane + chromaPlane;
    const auto rows = ActiveKernels().i420;
    for (int pair = 0; pair < height / 2; ++pair) {
        const std::uint8_t* luma0 = source + static_cast<std::size_t>(2 * pair) * width;
        rows(luma0, luma0 + width, uPlane + pair * chromaWidth, vPlane + pair * chromaWidth,
             Row(destination, width, height - 1 - 2 * pair),
             Row(destination, width, height - 2 - 2 * pair), width / 2);
    }
}

void ConvertY8(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    if (Empty(width, height))
        return;
    const auto row = ActiveKernels().y8;
    for (int r = 0; r < height; ++r)
        row(source + static_cast<std::size_t>(r) * width, Row(destination, width, height - 1 - r),
            width);
}

void ConvertY211(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    if (Empty(width, height))
        return;
    // Four bytes Y0 U Y1 V cover four pixels: each luma sample twice.
    const auto row = ActiveKernels().y211;
    const std::size_t stride = static_cast<std::size_t>((width + 3) / 4) * 4;
    for (int r = 0; r < height; ++r)
        row(source + r * stride, Row(destination, width, height - 1 - r), width / 4);
}

bool ConvertFrame(int frameClass, const std::uint8_t* source, std::uint8_t* destination, int width,
                  int height) {
    switch (frameClass) {
    case kClassYUY2:
        ConvertYUY2(source, destination, width, height);
        return true;
    case kClassUYVY:
        ConvertUYVY(source, destination, width, height);
        return true;
    case kClassY41P:
        ConvertY41P(source, destination, width, height);
        return true;
    case kClassYVU9:
        ConvertYVU9(source, destination, width, height);
        return true;
    case kClassI420:
        ConvertI420(source, destination, width, height);
        return true;
    case kClassY8:
        ConvertY8(source, destination, width, height);
        return true;
    case kClassY211:
        ConvertY211(source, destination, width, height);
        return true;
    default:
        return false;
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
