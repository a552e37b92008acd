#include "video/YUVConverts.h"
#include "video/YUVRowKernels.h"

#include <algorithm>
#include <array>

namespace vocalyn::video {

namespace {

using detail::ActiveKernels;
using detail::ExactPixel;
using detail::StorePixel;

bool Empty(int width, int height) {
    return width < 1 || height < 1;
}

std::uint8_t* Row(std::uint8_t* destination, int width, int row) {
    return destination + static_cast<std::size_t>(row) * width * 4;
}

// The layouts without a kernel of their own are rearranged, a piece of a row
// at a time, into YUY2 pairs on the stack, so no frame allocates.
class PairStage {
public:
    void Add(std::uint8_t y0, std::uint8_t u, std::uint8_t y1, std::uint8_t v) {
        std::uint8_t* pair = bytes_.data() + 4 * count_;
        pair[0] = y0;
        pair[1] = u;
        pair[2] = y1;
        pair[3] = v;
        ++count_;
    }
    bool Full() const { return count_ == kPairs; }
    // Converts the staged pairs to destination and empties the stage;
    // returns the bytes written.
    std::size_t Flush(std::uint8_t* destination) {
        ActiveKernels().yuy2(bytes_.data(), destination, count_);
        const std::size_t written = 8 * static_cast<std::size_t>(count_);
        count_ = 0;
        return written;
    }

private:
    static constexpr int kPairs = 256;
    std::array<std::uint8_t, 4 * kPairs> bytes_;
    int count_ = 0;
};

} // namespace

void ConvertYUY2(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    if (Empty(width, height))
        return;
    const auto row = ActiveKernels().yuy2;
    const std::size_t stride = static_cast<std::size_t>(width) * 2;
    for (int r = 0; r < height; ++r)
        row(source + r * stride, Row(destination, width, height - 1 - r), width / 2);
}

void ConvertUYVY(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    if (Empty(width, height))
        return;
    const auto row = ActiveKernels().uyvy;
    const std::size_t stride = static_cast<std::size_t>(width) * 2;
    for (int r = 0; r < height; ++r)
        row(source + r * stride, Row(destination, width, height - 1 - r), width / 2);
}

void ConvertY41P(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    if (Empty(width, height))
        return;
    // Within a group of 12 bytes: U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7.
    static constexpr int kLumaAt[8] = {1, 3, 5, 7, 8, 9, 10, 11};
    const std::size_t stride = static_cast<std::size_t>((width + 7) / 8) * 12;
    PairStage stage;
    for (int r = 0; r < height; ++r) {
        const std::uint8_t* group = source + r * stride;
        std::uint8_t* out = Row(destination, width, r); // not flipped
        for (int x = 0; x < width; x += 8, group += 12) {
            const int pixels = std::min(8, width - x); // the last group may be partial
            for (int k = 0; k + 1 < pixels; k += 2) {
                const int chroma = k < 4 ? 0 : 4;
                stage.Add(group[kLumaAt[k]], group[chroma], group[kLumaAt[k + 1]],
                          group[chroma + 2]);
                if (stage.Full())
                    out += stage.Flush(out);
            }
            if (pixels % 2) { // an odd width's last pixel
                out += stage.Flush(out);
                const int chroma = pixels - 1 < 4 ? 0 : 4;
                StorePixel(
                    out, ExactPixel(group[kLumaAt[pixels - 1]], group[chroma], group[chroma + 2]));
            }
        }
        stage.Flush(out);
    }
}

void ConvertYVU9(const std::uint8_t* source, std::uint8_t* destination, int width, int height) {
    if (Empty(width, height))
        return;
    const std::size_t chromaWidth = static_cast<std::size_t>((width + 3) / 4);
    const std::size_t chromaPlane = chromaWidth * ((height + 3) / 4);
    const std::uint8_t* vPlane = source + static_cast<std::size_t>(width) * height;
    const std::uint8_t* uPlane = vPlane + chromaPlane;
    const int groups = width / 4;
    PairStage stage;
    for (int r = 0; r < height / 4 * 4; ++r) {
        const std::uint8_t* luma = source + static_cast<std::size_t>(r) * width;
        const std::uint8_t* u = uPlane + (r / 4) * chromaWidth;
        const std::uint8_t* v = vPlane + (r / 4) * chromaWidth;
        std::uint8_t* out = Row(destination, width, height - 1 - r);
        for (int g = 0; g < groups; ++g) {
            stage.Add(luma[4 * g], u[g], luma[4 * g + 1], v[g]);
            stage.Add(luma[4 * g + 2], u[g], luma[4 * g + 3], v[g]);
            if (stage.Full())
                out += stage.Flush(out);
        }
        stage.Flush(out);
    }
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
    const std::size_t stride = static_cast<std::size_t>((width + 3) / 4) * 4;
    PairStage stage;
    for (int r = 0; r < height; ++r) {
        const std::uint8_t* group = source + r * stride;
        std::uint8_t* out = Row(destination, width, height - 1 - r);
        for (int g = 0; g < width / 4; ++g, group += 4) {
            stage.Add(group[0], group[1], group[0], group[3]);
            stage.Add(group[2], group[1], group[2], group[3]);
            if (stage.Full())
                out += stage.Flush(out);
        }
        stage.Flush(out);
    }
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
