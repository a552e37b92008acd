#pragma once

// A webcam-like picture for the video benchmarks: a room with a plastered wall, a window behind
// blinds, a bookshelf, a plant and a person who moves, with fresh sensor noise in every frame.
// Deterministic.

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace vocalyn::bench {

class CameraScene {
public:
    enum class Motion {
        Sway = 1, // the person sways in front of a still camera
        Pan,      // the camera pans to and fro across the room as well
        Dusk,     // the light fades and comes back; the camera's gain, and its noise, follow
    };

    // noise: standard deviation of the sensor noise per channel, in levels (at full light).
    CameraScene(int width, int height, double noise, Motion motion = Motion::Sway)
        : width_(width), height_(height), motion_(motion) {
        std::mt19937 random(7);
        std::normal_distribution<float> gauss(0.0f, float(noise));
        noise_.resize(std::size_t(1) << 22);
        for (float& value : noise_)
            value = gauss(random);
        std::uniform_int_distribution<int> level(40, 200), spine(3, 12);
        for (int u = 0; u < kSceneWidth; u += spine(random))
            spines_.push_back({u, {level(random), level(random), level(random)}});
    }

    // Frame n as 24-bit RGB rows, top row first. The scene is drawn in 384 x 288 units, so a
    // larger picture shows the same things with more pixels, as a camera would.
    QImage Frame(int n) const {
        QImage image(width_, height_, QImage::Format_RGB888);
        const double headU = kSceneWidth * (0.45 + 0.08 * std::sin(n * 0.07));
        const double headV = kSceneHeight * (0.42 + 0.02 * std::sin(n * 0.11));
        const double ru = kSceneWidth * 0.10, rv = kSceneHeight * 0.16;
        std::size_t noiseAt = std::size_t(n) * 7919u * 131u % (noise_.size() / 2);
        const double pan = motion_ == Motion::Pan ? 40 * std::sin(n * 0.021) : 0.0;
        // Light between 45 % and 100 %; the camera's gain makes up for it, and amplifies the
        // sensor's noise and steps alike.
        const double light = motion_ == Motion::Dusk ? 0.725 + 0.275 * std::cos(n * 0.025) : 1.0;
        const double gain = 1.0 / light;
        for (int y = 0; y < height_; ++y) {
            std::uint8_t* row = image.scanLine(y);
            const double v = (y + 0.5) * kSceneHeight / height_;
            std::size_t spine = 0;
            for (int x = 0; x < width_; ++x) {
                const double u = (x + 0.5) * kSceneWidth / width_ + pan;
                while (spine + 1 < spines_.size() && spines_[spine + 1].u <= u)
                    ++spine;
                double rgb[3];
                Paint(u, v, headU, headV, ru, rv, spines_[spine], rgb);
                for (int c = 0; c < 3; ++c)
                    row[3 * x + c] = std::uint8_t(std::clamp(rgb[c] * light, 0.0, 255.0));
            }
        }
        // The softness of a webcam's lens, then its sensor's noise.
        const QImage sharp = image;
        for (int y = 0; y < height_; ++y) {
            const std::uint8_t* rows[3] = {sharp.constScanLine(std::max(y - 1, 0)),
                                           sharp.constScanLine(y),
                                           sharp.constScanLine(std::min(y + 1, height_ - 1))};
            std::uint8_t* out = image.scanLine(y);
            for (int x = 0; x < width_; ++x) {
                const int left = 3 * std::max(x - 1, 0), mid = 3 * x,
                          right = 3 * std::min(x + 1, width_ - 1);
                for (int c = 0; c < 3; ++c) {
                    int sum = 0;
                    for (int r = 0; r < 3; ++r) {
                        const int weight = r == 1 ? 2 : 1;
                        sum += weight *
                               (rows[r][left + c] + 2 * rows[r][mid + c] + rows[r][right + c]);
                    }
                    out[mid + c] = std::uint8_t(
                        std::clamp((sum / 16.0 + noise_[noiseAt++]) * gain, 0.0, 255.0));
                }
            }
        }
        return image;
    }

private:
    static constexpr int kSceneWidth = 384;
    static constexpr int kSceneHeight = 288;

    struct Spine {
        int u;
        int colour[3];
    };

    // The colour of the scene at (u, v).
    static void Paint(double u, double v, double headU, double headV, double ru, double rv,
                      const Spine& spine, double rgb[3]) {
        const double w = kSceneWidth, h = kSceneHeight;
        // A wall with a fine plaster texture.
        const double plaster = 3 * std::sin(u * 0.9 + 0.3 * v) * std::sin(v * 0.7);
        rgb[0] = 150 + 40 * v / h + plaster;
        rgb[1] = 140 + 30 * v / h + plaster;
        rgb[2] = 120 + 20 * v / h + plaster;
        const int iu = int(u), iv = int(v);
        if (u > w * 0.6 && u < w * 0.95 && v > h * 0.05 && v < h * 0.45) {
            const double slat = (iv % 8) < 2 ? 0.55 : 1.0; // blinds
            for (int c = 0; c < 3; ++c)
                rgb[c] = 235 * slat;
        } else if (u > w * 0.05 && u < w * 0.35 && v > h * 0.1 && v < h * 0.8) {
            // Book spines with lettering.
            const bool letter = (iv % 14) < 9 && ((iu * 7 + iv * 3) % 5) < 2 && u - spine.u > 1;
            for (int c = 0; c < 3; ++c)
                rgb[c] = letter ? 230 - spine.colour[c] / 2
                                : spine.colour[c] * (0.8 + 0.2 * ((iv / 6) % 2));
        } else if (u > w * 0.7 && v > h * 0.6) {
            // A plant: leaves in light and shade.
            const double leaf = std::sin(u * 0.45 + v * 0.3) * std::sin(u * 0.2 - v * 0.55);
            rgb[0] = 40 + 30 * leaf;
            rgb[1] = 110 + 70 * leaf;
            rgb[2] = 35 + 20 * leaf;
        }
        const double du = (u - headU) / ru, dv = (v - headV) / rv;
        const double d2 = du * du + dv * dv;
        if (d2 < 1.0 && dv < -0.45) {
            const double strand = 18 * std::sin(u * 1.3 + 4 * dv); // hair
            rgb[0] = 70 + strand, rgb[1] = 45 + strand, rgb[2] = 30 + strand;
        } else if (d2 < 1.0) {
            const double shade = 1.0 - 0.35 * d2 + 0.1 * du;
            rgb[0] = 210 * shade;
            rgb[1] = 160 * shade;
            rgb[2] = 130 * shade;
        } else if (v > headV + rv * 0.9 && std::abs(u - headU) < ru * 2.2) {
            const double knit = 8 * ((iu + iv) % 4 < 2 ? 1 : -1); // a knitted pullover
            rgb[0] = 40 + knit, rgb[1] = 50 + knit, rgb[2] = 90 + knit;
        }
    }

    int width_, height_;
    Motion motion_;
    std::vector<float> noise_;
    std::vector<Spine> spines_;
};

} // namespace vocalyn::bench
