#include "tests/video/ScriptedDevice.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vocalyn::test {

namespace {

int Fail(int error) {
    errno = error;
    return -1;
}

// Takes the field's address, so it works on the packed menu structure too.
void CopyName(void* target, std::size_t size, const QString& name) {
    const QByteArray bytes = name.toUtf8();
    std::memset(target, 0, size);
    std::memcpy(target, bytes.constData(), std::min<std::size_t>(size - 1, bytes.size()));
}

} // namespace

ScriptedDevice::ScriptedControl&
ScriptedDevice::AddControl(std::uint32_t id, const char* name, std::uint32_t type,
                           std::int32_t minimum, std::int32_t maximum, std::int32_t step,
                           std::int32_t defaultValue, std::uint32_t flags) {
    ScriptedControl control;
    control.query.id = id;
    CopyName(control.query.name, sizeof control.query.name, QString::fromUtf8(name));
    control.query.type = type;
    control.query.minimum = minimum;
    control.query.maximum = maximum;
    control.query.step = step;
    control.query.default_value = defaultValue;
    control.query.flags = flags;
    control.value = defaultValue;
    controls.push_back(control);
    return controls.back();
}

v4l2_frmsizeenum ScriptedDevice::Discrete(std::uint32_t width, std::uint32_t height) {
    v4l2_frmsizeenum size{};
    size.type = V4L2_FRMSIZE_TYPE_DISCRETE;
    size.discrete = {width, height};
    return size;
}

v4l2_frmsizeenum ScriptedDevice::Stepwise(std::uint32_t minWidth, std::uint32_t maxWidth,
                                          std::uint32_t stepWidth, std::uint32_t minHeight,
                                          std::uint32_t maxHeight, std::uint32_t stepHeight) {
    v4l2_frmsizeenum size{};
    size.type = V4L2_FRMSIZE_TYPE_STEPWISE;
    size.stepwise = {minWidth, maxWidth, stepWidth, minHeight, maxHeight, stepHeight};
    return size;
}

ScriptedDevice::ScriptedControl* ScriptedDevice::Find(std::uint32_t id) {
    for (ScriptedControl& control : controls)
        if (control.query.id == id)
            return &control;
    return nullptr;
}

int ScriptedDevice::QueryControl(v4l2_queryctrl& query) {
    if (query.id & V4L2_CTRL_FLAG_NEXT_CTRL) {
        if (!walksControls)
            return Fail(EINVAL);
        const std::uint32_t after = query.id & ~V4L2_CTRL_FLAG_NEXT_CTRL;
        const ScriptedControl* next = nullptr;
        for (const ScriptedControl& control : controls)
            if (control.query.id > after && (!next || control.query.id < next->query.id))
                next = &control;
        if (!next)
            return Fail(EINVAL);
        query = next->query;
        return 0;
    }
    const ScriptedControl* control = Find(query.id);
    if (!control)
        return Fail(EINVAL);
    query = control->query;
    return 0;
}

int ScriptedDevice::Ioctl(unsigned long request, void* argument) {
    switch (request) {
    case VIDIOC_QUERYCTRL:
        return QueryControl(*static_cast<v4l2_queryctrl*>(argument));
    case VIDIOC_QUERYMENU: {
        auto& menu = *static_cast<v4l2_querymenu*>(argument);
        const ScriptedControl* control = Find(menu.id);
        if (!control || !control->menu.contains(menu.index))
            return Fail(EINVAL);
        if (control->query.type == V4L2_CTRL_TYPE_INTEGER_MENU)
            menu.value = control->menu.at(menu.index).toLongLong();
        else
            CopyName(menu.name, sizeof menu.name, control->menu.at(menu.index));
        return 0;
    }
    case VIDIOC_G_CTRL: {
        auto& value = *static_cast<v4l2_control*>(argument);
        const ScriptedControl* control = Find(value.id);
        if (!control)
            return Fail(EINVAL);
        value.value = control->value;
        return 0;
    }
    case VIDIOC_S_CTRL: {
        auto& value = *static_cast<v4l2_control*>(argument);
        ScriptedControl* control = Find(value.id);
        if (!control)
            return Fail(EINVAL);
        if (control->query.flags & (V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_INACTIVE))
            return Fail(EACCES);
        if (value.value < control->query.minimum || value.value > control->query.maximum)
            return Fail(ERANGE);
        writes.emplace_back(value.id, value.value);
        if (control->query.type != V4L2_CTRL_TYPE_BUTTON)
            control->value = value.value;
        if (afterWrite)
            afterWrite(*this);
        return 0;
    }
    case VIDIOC_ENUM_FMT: {
        auto& format = *static_cast<v4l2_fmtdesc*>(argument);
        if (format.index >= formats.size())
            return Fail(EINVAL);
        const ScriptedFormat& scripted = formats[format.index];
        format.pixelformat = scripted.pixelFormat;
        format.flags = scripted.emulated ? V4L2_FMT_FLAG_EMULATED : 0;
        CopyName(format.description, sizeof format.description, scripted.description);
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto& size = *static_cast<v4l2_frmsizeenum*>(argument);
        for (const ScriptedFormat& format : formats) {
            if (format.pixelFormat != size.pixel_format)
                continue;
            if (size.index >= format.sizes.size())
                return Fail(EINVAL);
            const std::uint32_t index = size.index;
            size = format.sizes[index];
            size.index = index;
            size.pixel_format = format.pixelFormat;
            return 0;
        }
        return Fail(EINVAL);
    }
    case VIDIOC_TRY_FMT: {
        // The format if listed, else the first; the listed size nearest in area.
        auto& pix = static_cast<v4l2_format*>(argument)->fmt.pix;
        const ScriptedFormat* chosen = formats.empty() ? nullptr : &formats.front();
        for (const ScriptedFormat& format : formats)
            if (format.pixelFormat == pix.pixelformat)
                chosen = &format;
        if (!chosen || chosen->sizes.empty())
            return Fail(EINVAL);
        const auto area = [](const v4l2_frmsizeenum& size) {
            return std::int64_t{size.discrete.width} * size.discrete.height;
        };
        const std::int64_t wanted = std::int64_t{pix.width} * pix.height;
        const v4l2_frmsizeenum* nearest = &chosen->sizes.front();
        for (const v4l2_frmsizeenum& size : chosen->sizes)
            if (std::llabs(area(size) - wanted) < std::llabs(area(*nearest) - wanted))
                nearest = &size;
        pix.pixelformat = chosen->pixelFormat;
        pix.width = nearest->discrete.width;
        pix.height = nearest->discrete.height;
        return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto& interval = *static_cast<v4l2_frmivalenum*>(argument);
        for (const ScriptedFormat& format : formats) {
            if (format.pixelFormat != interval.pixel_format ||
                interval.index >= format.intervals.size())
                continue;
            interval.type = V4L2_FRMIVAL_TYPE_DISCRETE;
            interval.discrete = format.intervals[interval.index];
            return 0;
        }
        return Fail(EINVAL);
    }
    default:
        return Fail(ENOTTY);
    }
}

} // namespace vocalyn::test
