#pragma once

// What an emulated camera node offers and how it misbehaves, read from a small text file.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace v4l2cam {

struct FrameSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

struct Format {
    std::uint32_t fourcc = 0; // YUYV or MJPG
    std::string description;
    std::vector<FrameSize> sizes; // in the order the camera lists them
};

struct MenuItem {
    std::int32_t index = 0;
    std::string name;
};

struct ControlSpec {
    std::uint32_t id = 0;
    std::uint32_t type = 0; // V4L2_CTRL_TYPE_*
    std::string name;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t step = 1;
    std::int32_t defaultValue = 0;
    std::vector<MenuItem> items;
    // Inactive (and refusing writes) unless another control holds a value.
    std::uint32_t activeWithId = 0;
    std::int32_t activeWithValue = 0;
};

struct Profile {
    enum class Kind { Capture, Metadata, Refused };
    Kind kind = Kind::Capture;
    std::string card = "Emulated Camera";
    std::string driver = "uvcvideo";
    std::string bus = "usb-0000:00:14.0-1";
    std::vector<Format> formats;
    // Frame intervals in seconds, numerator over denominator; the first is the default.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> intervals;
    std::uint32_t rowPadding = 0;     // bytes after each YUYV row
    std::uint32_t firstFrame_ms = 0;  // delay before the first frame after STREAMON
    std::uint32_t unplugAfter_ms = 0; // 0: never; else after the first STREAMON
    // Frames due in [from, until) ms after STREAMON are never taken: a camera that stalls.
    std::uint32_t stallFrom_ms = 0, stallUntil_ms = 0;
    std::uint32_t errorEvery = 0;   // every Nth frame comes spoilt (V4L2_BUF_FLAG_ERROR)
    std::uint32_t bandwidth_kB = 0; // 0: any; else STREAMON of more per second fails (ENOSPC)
    bool exclusive = false;         // a second open fails (EBUSY) while one is open
    int jpegQuality = 85;
    // What the camera sees: the test pattern (TestPattern.h), or a room with a person in it
    // (NaturalScene.h), whose pictures are as hard to compress as a real camera's.
    enum class Scene { Pattern, Natural };
    Scene scene = Scene::Pattern;
    std::vector<ControlSpec> controls;
};

// Reads a profile; on a malformed or oversized file, nothing, with the reason in error.
std::optional<Profile> ReadProfile(const std::string& path, std::string& error);

// The nearest listed size the way UVC drivers choose it: the least area the two sizes do not share.
FrameSize NearestSize(const Format& format, std::uint32_t width, std::uint32_t height);

// Bounds that keep a hostile profile from costing much memory.
inline constexpr std::uint32_t kMaxSide = 4096;
inline constexpr std::size_t kMaxFormats = 8;
inline constexpr std::size_t kMaxSizes = 32;
inline constexpr std::size_t kMaxControls = 32;
inline constexpr std::size_t kMaxMenuItems = 32;

} // namespace v4l2cam
