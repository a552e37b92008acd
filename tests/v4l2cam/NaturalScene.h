#pragma once

// A picture like a webcam's in a room: a textured wall and a plant behind a person who sways from
// side to side, with the sensor's grain on every pixel, new in every frame. Its JPEG files are as
// large as a real camera's (15 to 50 KB at quality 90 and 352 x 288), which the flat test pattern
// is not; what the pictures show is not checked.

#include "tests/v4l2cam/TestPattern.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace v4l2cam {

class NaturalScene {
public:
    static constexpr int kSide = 512; // the backdrop's texture repeats after this many pixels

    NaturalScene() : texture_(std::size_t(kSide) * kSide) {
        // Value noise in four octaves: broad patches down to fine grain, as walls and leaves have.
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                double value = 0;
                double weight = 1;
                for (int cell = 64; cell >= 2; cell /= 4, weight *= 0.6)
                    value += weight * Smooth(x, y, cell);
                texture_[std::size_t(y) * kSide + std::size_t(x)] = float(value / 2.2);
            }
    }

    Rgb Pixel(int x, int y, int width, int height, std::uint32_t frame) const {
        const double t = frame / 30.0;
        const double fx = double(x) / width;
        const double fy = double(y) / height;
        const double texture = Texture(x, y);
        // The wall lit from the left, a darker plant on its right.
        double r = 190 - 60 * fx + 50 * texture;
        double g = 175 - 50 * fx + 50 * texture;
        double b = 150 - 40 * fx + 45 * texture;
        if (Texture(x / 3 + 200, y / 3 + 100) + 0.4 * fx > 0.95 && fx > 0.6) {
            r = 40 + 60 * texture;
            g = 90 + 90 * texture;
            b = 35 + 40 * texture;
        }
        // The person: a head and shoulders swaying about the middle.
        const double centre = 0.5 + 0.12 * std::sin(t * 1.3);
        const double dx = (fx - centre) / 0.13;
        const double dy = (fy - 0.42 - 0.02 * std::sin(t * 2.1)) / 0.2;
        const double shoulders = (fy - 0.95) / 0.35;
        if (dx * dx + dy * dy < 1) {
            const double shade = 1 - 0.35 * std::max(0.0, dx);
            const double skin = Texture(x * 2 + 7, y * 2 + 31);
            r = (205 + 30 * skin) * shade;
            g = (160 + 25 * skin) * shade;
            b = (130 + 20 * skin) * shade;
            if (dy < -0.55) { // hair
                r = 60 + 50 * skin;
                g = 45 + 35 * skin;
                b = 30 + 25 * skin;
            }
        } else if ((fx - centre) * (fx - centre) / 0.09 + shoulders * shoulders < 1) {
            const double cloth = Texture(x * 4 + 91, y * 4 + 13);
            r = 50 + 60 * cloth;
            g = 70 + 60 * cloth;
            b = 120 + 80 * cloth;
        }
        const double grain = Grain(x, y, frame);
        return {Byte(r + grain), Byte(g + grain), Byte(b + grain)};
    }

private:
    static std::uint32_t Hash(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        std::uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u ^ c * 0xC2B2AE3Du;
        h ^= h >> 15;
        h *= 0x2C1B3C6Du;
        h ^= h >> 12;
        h *= 0x297A2D39u;
        return h ^ (h >> 15);
    }

    // Between -1 and 1, smooth across cells of `cell` pixels, repeating after kSide.
    static double Smooth(int x, int y, int cell) {
        const int cells = kSide / cell;
        const int cx = x / cell;
        const int cy = y / cell;
        const double u = Ease(double(x % cell) / cell);
        const double v = Ease(double(y % cell) / cell);
        const auto at = [&](int i, int j) {
            return double(Hash(std::uint32_t((cx + i) % cells), std::uint32_t((cy + j) % cells),
                               std::uint32_t(cell)) &
                          0xFFFF) /
                       32767.5 -
                   1;
        };
        const double top = at(0, 0) + (at(1, 0) - at(0, 0)) * u;
        const double bottom = at(0, 1) + (at(1, 1) - at(0, 1)) * u;
        return top + (bottom - top) * v;
    }

    static double Ease(double f) { return f * f * (3 - 2 * f); }

    double Texture(int x, int y) const {
        return texture_[std::size_t(y & (kSide - 1)) * kSide + std::size_t(x & (kSide - 1))];
    }

    // The sensor's noise: about 3 levels either way, different in every frame.
    static double Grain(int x, int y, std::uint32_t frame) {
        const std::uint32_t h = Hash(std::uint32_t(x), std::uint32_t(y), frame);
        return double(int(h & 7) + int((h >> 3) & 7) - 7) * 0.8;
    }

    static std::uint8_t Byte(double value) {
        return static_cast<std::uint8_t>(std::clamp(value, 0.0, 255.0));
    }

    std::vector<float> texture_;
};

} // namespace v4l2cam
