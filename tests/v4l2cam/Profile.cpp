#include "tests/v4l2cam/Profile.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace v4l2cam {

namespace {

struct KnownControl {
    const char* key;
    std::uint32_t id;
    std::uint32_t type;
};

// The controls a UVC camera commonly has, by the names v4l2-ctl gives them.
constexpr KnownControl kKnownControls[] = {
    {"brightness", V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER},
    {"contrast", V4L2_CID_CONTRAST, V4L2_CTRL_TYPE_INTEGER},
    {"saturation", V4L2_CID_SATURATION, V4L2_CTRL_TYPE_INTEGER},
    {"hue", V4L2_CID_HUE, V4L2_CTRL_TYPE_INTEGER},
    {"gain", V4L2_CID_GAIN, V4L2_CTRL_TYPE_INTEGER},
    {"white_balance_automatic", V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CTRL_TYPE_BOOLEAN},
    {"power_line_frequency", V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CTRL_TYPE_MENU},
    {"auto_exposure", V4L2_CID_EXPOSURE_AUTO, V4L2_CTRL_TYPE_MENU},
    {"exposure_time_absolute", V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER},
};

const KnownControl* FindKnown(const std::string& key) {
    for (const KnownControl& known : kKnownControls)
        if (key == known.key)
            return &known;
    return nullptr;
}

ControlSpec* FindControl(Profile& profile, std::uint32_t id) {
    for (ControlSpec& control : profile.controls)
        if (control.id == id)
            return &control;
    return nullptr;
}

std::string Rest(std::istringstream& line) {
    std::string text;
    std::getline(line >> std::ws, text);
    return text;
}

bool ReadSize(const std::string& word, FrameSize& size) {
    unsigned width = 0;
    unsigned height = 0;
    char x = 0;
    std::istringstream in(word);
    if (!(in >> width >> x >> height) || x != 'x' || width == 0 || height == 0 ||
        width > kMaxSide || height > kMaxSide || width % 2 != 0)
        return false;
    size = {width, height};
    return true;
}

// One line of the file; false with a reason when it makes no sense.
bool ReadLine(const std::string& text, Profile& profile, std::string& error) {
    std::istringstream line(text);
    std::string key;
    if (!(line >> key) || key[0] == '#')
        return true;
    if (key == "kind") {
        const std::string kind = Rest(line);
        if (kind == "capture")
            profile.kind = Profile::Kind::Capture;
        else if (kind == "metadata")
            profile.kind = Profile::Kind::Metadata;
        else if (kind == "refused")
            profile.kind = Profile::Kind::Refused;
        else
            return error = "unknown kind", false;
    } else if (key == "scene") {
        const std::string scene = Rest(line);
        if (scene == "pattern")
            profile.scene = Profile::Scene::Pattern;
        else if (scene == "natural")
            profile.scene = Profile::Scene::Natural;
        else
            return error = "unknown scene", false;
    } else if (key == "card" || key == "driver" || key == "bus") {
        std::string value = Rest(line);
        if (value.empty() || value.size() > 31)
            return error = key + " must have 1 to 31 characters", false;
        (key == "card" ? profile.card : key == "driver" ? profile.driver : profile.bus) = value;
    } else if (key == "format") {
        std::string code;
        line >> code;
        Format format;
        if (code == "YUYV") {
            format = {V4L2_PIX_FMT_YUYV, "YUYV 4:2:2", {}};
        } else if (code == "MJPG") {
            format = {V4L2_PIX_FMT_MJPEG, "Motion-JPEG", {}};
        } else {
            return error = "unknown format " + code, false;
        }
        for (std::string word; line >> word;) {
            FrameSize size;
            if (!ReadSize(word, size) || format.sizes.size() >= kMaxSizes)
                return error = "bad frame size " + word, false;
            format.sizes.push_back(size);
        }
        if (format.sizes.empty() || profile.formats.size() >= kMaxFormats)
            return error = "a format needs sizes (and at most 8 formats)", false;
        profile.formats.push_back(std::move(format));
    } else if (key == "interval") {
        profile.intervals.clear();
        for (std::string word; line >> word;) {
            unsigned numerator = 0;
            unsigned denominator = 0;
            char slash = 0;
            std::istringstream in(word);
            if (!(in >> numerator >> slash >> denominator) || slash != '/' || numerator == 0 ||
                denominator == 0 || denominator > 1000 || numerator > 100 ||
                profile.intervals.size() >= 8)
                return error = "bad interval " + word, false;
            profile.intervals.emplace_back(numerator, denominator);
        }
    } else if (key == "stall_ms") {
        long from = -1, until = -1;
        if (!(line >> from >> until) || from < 0 || until <= from || until > 600000)
            return error = "bad stall_ms", false;
        profile.stallFrom_ms = static_cast<std::uint32_t>(from);
        profile.stallUntil_ms = static_cast<std::uint32_t>(until);
    } else if (key == "padding" || key == "first_frame_ms" || key == "unplug_after_ms" ||
               key == "jpeg_quality" || key == "error_every" || key == "bandwidth_kB" ||
               key == "exclusive") {
        long value = -1;
        if (!(line >> value) || value < 0 || value > 600000)
            return error = "bad " + key, false;
        const auto v = static_cast<std::uint32_t>(value);
        if (key == "padding")
            profile.rowPadding = v > 4096 ? 4096 : v;
        else if (key == "first_frame_ms")
            profile.firstFrame_ms = v;
        else if (key == "unplug_after_ms")
            profile.unplugAfter_ms = v;
        else if (key == "error_every")
            profile.errorEvery = v;
        else if (key == "bandwidth_kB")
            profile.bandwidth_kB = v;
        else if (key == "exclusive")
            profile.exclusive = v != 0;
        else
            profile.jpegQuality = v < 1 ? 1 : v > 100 ? 100 : static_cast<int>(v);
    } else if (key == "control") {
        std::string name;
        ControlSpec control;
        line >> name >> control.minimum >> control.maximum >> control.step >> control.defaultValue;
        const KnownControl* known = FindKnown(name);
        if (!line || !known || control.minimum > control.maximum || control.step < 1 ||
            control.defaultValue < control.minimum || control.defaultValue > control.maximum)
            return error = "bad control " + name, false;
        if (profile.controls.size() >= kMaxControls || FindControl(profile, known->id))
            return error = "too many or repeated controls", false;
        control.id = known->id;
        control.type = known->type;
        control.name = Rest(line).substr(0, 31);
        if (control.name.empty())
            return error = "control " + name + " has no label", false;
        profile.controls.push_back(std::move(control));
    } else if (key == "item") {
        std::string name;
        MenuItem item;
        line >> name >> item.index;
        item.name = Rest(line).substr(0, 31);
        const KnownControl* known = FindKnown(name);
        ControlSpec* control = known ? FindControl(profile, known->id) : nullptr;
        if (!line.eof() || !control || control->type != V4L2_CTRL_TYPE_MENU ||
            item.index < control->minimum || item.index > control->maximum || item.name.empty() ||
            control->items.size() >= kMaxMenuItems)
            return error = "bad menu item for " + name, false;
        control->items.push_back(std::move(item));
    } else if (key == "active_with") {
        std::string name;
        std::string other;
        std::int32_t value = 0;
        line >> name >> other >> value;
        const KnownControl* known = FindKnown(name);
        const KnownControl* rule = FindKnown(other);
        ControlSpec* control = known ? FindControl(profile, known->id) : nullptr;
        if (!line || !control || !rule || !FindControl(profile, rule->id))
            return error = "bad rule for " + name, false;
        control->activeWithId = rule->id;
        control->activeWithValue = value;
    } else {
        return error = "unknown key " + key, false;
    }
    return true;
}

} // namespace

std::optional<Profile> ReadProfile(const std::string& path, std::string& error) {
    std::ifstream file(path);
    if (!file)
        return error = "cannot read " + path, std::nullopt;
    Profile profile;
    std::string text;
    for (int number = 1; std::getline(file, text); ++number) {
        if (number > 500 || text.size() > 500)
            return error = path + ": too long", std::nullopt;
        if (!ReadLine(text, profile, error))
            return error = path + ":" + std::to_string(number) + ": " + error, std::nullopt;
    }
    for (const ControlSpec& control : profile.controls)
        if (control.type == V4L2_CTRL_TYPE_MENU && control.items.empty())
            return error = path + ": menu " + control.name + " has no items", std::nullopt;
    if (profile.intervals.empty())
        profile.intervals.emplace_back(1, 30);
    if (profile.kind == Profile::Kind::Capture && profile.formats.empty())
        return error = path + ": a capture node needs a format", std::nullopt;
    return profile;
}

FrameSize NearestSize(const Format& format, std::uint32_t width, std::uint32_t height) {
    FrameSize best = format.sizes.front();
    std::uint64_t bestDistance = UINT64_MAX;
    for (const FrameSize& size : format.sizes) {
        const std::uint64_t shared =
            std::uint64_t{std::min(width, size.width)} * std::min(height, size.height);
        const std::uint64_t distance =
            std::uint64_t{width} * height + std::uint64_t{size.width} * size.height - 2 * shared;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = size;
        }
    }
    return best;
}

} // namespace v4l2cam
