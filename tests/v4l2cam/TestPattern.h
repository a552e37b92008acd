#pragma once

// The emulated camera's picture: four flat quadrants of different colours, so that a picture
// turned upside down or mirrored shows at once, and a white bar sliding along the middle band,
// so that consecutive frames differ. The quadrants stay clear of the band and survive chroma
// subsampling and JPEG.

#include <cstdint>

namespace v4l2cam {

struct Rgb {
    std::uint8_t r, g, b;
};

inline constexpr Rgb kTopLeft{200, 40, 40};      // red
inline constexpr Rgb kTopRight{40, 180, 60};     // green
inline constexpr Rgb kBottomLeft{40, 60, 200};   // blue
inline constexpr Rgb kBottomRight{220, 210, 60}; // yellow
inline constexpr Rgb kBand{16, 16, 16};
inline constexpr Rgb kBar{235, 235, 235};

// The band's rows: from 7/16 to 9/16 of the height.
inline bool InBand(int y, int height) {
    return y * 16 >= height * 7 && y * 16 < height * 9;
}

// Where the bar starts in a frame: it moves 4 pixels per frame and wraps.
inline int BarLeft(std::uint32_t frame, int width) {
    return static_cast<int>((std::uint64_t{frame} * 4) % static_cast<std::uint64_t>(width));
}

inline Rgb PatternPixel(int x, int y, int width, int height, std::uint32_t frame) {
    if (InBand(y, height)) {
        const int bar = BarLeft(frame, width);
        const int barWidth = width / 16 > 0 ? width / 16 : 1;
        const int offset = (x - bar + width) % width;
        return offset < barWidth ? kBar : kBand;
    }
    const bool right = x * 2 >= width;
    if (y * 2 < height)
        return right ? kTopRight : kTopLeft;
    return right ? kBottomRight : kBottomLeft;
}

} // namespace v4l2cam
