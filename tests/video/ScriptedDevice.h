#pragma once

#include "video/capture/v4l2/IoctlPort.h"

#include <linux/videodev2.h>

#include <QString>

#include <functional>
#include <map>
#include <vector>

namespace vocalyn::test {

// A V4L2 device that answers control and format questions from a script,
// as a driver would, and records the controls written.
class ScriptedDevice final : public video::v4l2::IoctlPort {
public:
    struct ScriptedControl {
        v4l2_queryctrl query{};
        std::int32_t value = 0;
        std::map<std::uint32_t, QString> menu; // index -> name; missing indices are holes
    };
    struct ScriptedFormat {
        std::uint32_t pixelFormat = 0;
        QString description;
        bool emulated = false;
        std::vector<v4l2_frmsizeenum> sizes; // index and pixel_format are filled in on query
        std::vector<v4l2_fract> intervals;   // at every size
    };

    // Adds a control; returns it for further scripting.
    ScriptedControl& AddControl(std::uint32_t id, const char* name, std::uint32_t type,
                                std::int32_t minimum, std::int32_t maximum, std::int32_t step,
                                std::int32_t defaultValue, std::uint32_t flags = 0);
    static v4l2_frmsizeenum Discrete(std::uint32_t width, std::uint32_t height);
    static v4l2_frmsizeenum Stepwise(std::uint32_t minWidth, std::uint32_t maxWidth,
                                     std::uint32_t stepWidth, std::uint32_t minHeight,
                                     std::uint32_t maxHeight, std::uint32_t stepHeight);

    // A driver too old to walk its controls with the next-control flag.
    bool walksControls = true;
    std::vector<ScriptedControl> controls;
    std::vector<ScriptedFormat> formats;
    // Runs after each accepted write, to switch dependent controls.
    std::function<void(ScriptedDevice&)> afterWrite;
    std::vector<std::pair<std::uint32_t, std::int32_t>> writes;

    ScriptedControl* Find(std::uint32_t id);

    int Ioctl(unsigned long request, void* argument) override;

private:
    int QueryControl(v4l2_queryctrl& query);
};

} // namespace vocalyn::test
