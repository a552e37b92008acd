#include "video/capture/v4l2/ControlModel.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <optional>

namespace vocalyn::video::v4l2 {

namespace {

QString FixedText(const __u8* text, std::size_t size) {
    const auto* begin = reinterpret_cast<const char*>(text);
    return QString::fromUtf8(begin, qstrnlen(begin, size));
}

std::optional<Control::Kind> KindOf(std::uint32_t type) {
    switch (type) {
    case V4L2_CTRL_TYPE_INTEGER:
        return Control::Kind::Integer;
    case V4L2_CTRL_TYPE_BOOLEAN:
        return Control::Kind::Boolean;
    case V4L2_CTRL_TYPE_MENU:
        return Control::Kind::Menu;
    case V4L2_CTRL_TYPE_INTEGER_MENU:
        return Control::Kind::IntegerMenu;
    case V4L2_CTRL_TYPE_BUTTON:
        return Control::Kind::Button;
    default:
        return std::nullopt;
    }
}

std::vector<Control::MenuItem> QueryMenu(IoctlPort& device, const v4l2_queryctrl& query,
                                         Control::Kind kind) {
    std::vector<Control::MenuItem> items;
    // Menus may have holes: an index the driver does not answer is no choice.
    for (std::int32_t index = query.minimum; index <= query.maximum; ++index) {
        v4l2_querymenu menu{};
        menu.id = query.id;
        menu.index = static_cast<__u32>(index);
        if (device.Ioctl(VIDIOC_QUERYMENU, &menu) != 0)
            continue;
        QString text = kind == Control::Kind::IntegerMenu
                           ? QString::number(static_cast<qlonglong>(menu.value))
                           : FixedText(menu.name, sizeof menu.name);
        items.push_back({index, std::move(text)});
    }
    return items;
}

std::optional<std::int32_t> ReadValue(IoctlPort& device, std::uint32_t id) {
    v4l2_control control{};
    control.id = id;
    if (device.Ioctl(VIDIOC_G_CTRL, &control) != 0)
        return std::nullopt;
    return control.value;
}

void ApplyFlags(Control& control, std::uint32_t flags) {
    control.readOnly = (flags & V4L2_CTRL_FLAG_READ_ONLY) != 0;
    control.inactive = (flags & V4L2_CTRL_FLAG_INACTIVE) != 0;
}

std::optional<Control> FromQuery(IoctlPort& device, const v4l2_queryctrl& query) {
    if (query.flags & V4L2_CTRL_FLAG_DISABLED)
        return std::nullopt;
    const std::optional<Control::Kind> kind = KindOf(query.type);
    if (!kind)
        return std::nullopt;
    Control control;
    control.id = query.id;
    control.name = FixedText(query.name, sizeof query.name);
    control.kind = *kind;
    control.minimum = query.minimum;
    control.maximum = query.maximum;
    control.step = std::max<std::int32_t>(query.step, 1);
    control.defaultValue = query.default_value;
    ApplyFlags(control, query.flags);
    if (*kind == Control::Kind::Menu || *kind == Control::Kind::IntegerMenu) {
        control.items = QueryMenu(device, query, *kind);
        if (control.items.empty())
            return std::nullopt;
    }
    control.value = control.defaultValue;
    if (*kind != Control::Kind::Button && !(query.flags & V4L2_CTRL_FLAG_WRITE_ONLY))
        control.value = ReadValue(device, query.id).value_or(control.defaultValue);
    return control;
}

// Older drivers do not walk their controls; they answer fixed ids instead.
void QueryFixedRange(IoctlPort& device, std::uint32_t first, std::uint32_t end,
                     std::vector<Control>& controls) {
    for (std::uint32_t id = first; id < end; ++id) {
        v4l2_queryctrl query{};
        query.id = id;
        if (device.Ioctl(VIDIOC_QUERYCTRL, &query) != 0) {
            if (end == UINT32_MAX && errno == EINVAL)
                return; // the private range ends at the first unknown id
            continue;
        }
        if (std::optional<Control> control = FromQuery(device, query))
            controls.push_back(std::move(*control));
    }
}

} // namespace

std::vector<Control> QueryControls(IoctlPort& device) {
    std::vector<Control> controls;
    v4l2_queryctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    bool walked = false;
    while (device.Ioctl(VIDIOC_QUERYCTRL, &query) == 0) {
        walked = true;
        if (std::optional<Control> control = FromQuery(device, query))
            controls.push_back(std::move(*control));
        const std::uint32_t id = query.id;
        query = {};
        query.id = id | V4L2_CTRL_FLAG_NEXT_CTRL;
    }
    if (!walked) {
        QueryFixedRange(device, V4L2_CID_BASE, V4L2_CID_LASTP1, controls);
        QueryFixedRange(device, V4L2_CID_PRIVATE_BASE, UINT32_MAX, controls);
    }
    return controls;
}

std::int32_t SnapToStep(const Control& control, std::int32_t value) {
    const std::int64_t step = std::max<std::int32_t>(control.step, 1);
    std::int64_t v = std::clamp<std::int64_t>(value, control.minimum, control.maximum);
    const std::int64_t offset = v - control.minimum;
    v = control.minimum + (offset + step / 2) / step * step;
    if (v > control.maximum)
        v -= step;
    return static_cast<std::int32_t>(v);
}

bool WriteControl(IoctlPort& device, Control& control, std::int32_t value) {
    v4l2_control request{};
    request.id = control.id;
    request.value = control.kind == Control::Kind::Button ? 0 : SnapToStep(control, value);
    if (device.Ioctl(VIDIOC_S_CTRL, &request) != 0)
        return false;
    if (control.kind != Control::Kind::Button)
        control.value = ReadValue(device, control.id).value_or(request.value);
    return true;
}

void RefreshControls(IoctlPort& device, std::vector<Control>& controls) {
    for (Control& control : controls) {
        v4l2_queryctrl query{};
        query.id = control.id;
        if (device.Ioctl(VIDIOC_QUERYCTRL, &query) != 0)
            continue;
        ApplyFlags(control, query.flags);
        if (control.kind != Control::Kind::Button && !(query.flags & V4L2_CTRL_FLAG_WRITE_ONLY))
            control.value = ReadValue(device, control.id).value_or(control.value);
    }
}

} // namespace vocalyn::video::v4l2
