#pragma once

#include "video/capture/v4l2/IoctlPort.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace vocalyn::video::v4l2 {

// One user control of a device (brightness, exposure, white balance, ...),
// as the source dialog shows it.
struct Control {
    enum class Kind { Integer, Boolean, Menu, IntegerMenu, Button };
    struct MenuItem {
        std::int32_t index = 0;
        QString text;
    };

    std::uint32_t id = 0;
    QString name;
    Kind kind = Kind::Integer;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t step = 1;
    std::int32_t defaultValue = 0;
    std::int32_t value = 0;
    bool readOnly = false;
    bool inactive = false; // another control's setting rules it out for now
    std::vector<MenuItem> items;

    bool editable() const { return !readOnly && !inactive; }
};

// Every control the device reports that the dialog can edit, in the device's
// order, with its current value. Disabled controls, class headings and types
// without a plain editor (64-bit, strings, arrays) are left out.
std::vector<Control> QueryControls(IoctlPort& device);

// The nearest value the control accepts: within its range, on its step grid.
std::int32_t SnapToStep(const Control& control, std::int32_t value);

// Writes a value and reads back what the device kept. Returns false when
// the device refused it; the control then keeps its last known value.
bool WriteControl(IoctlPort& device, Control& control, std::int32_t value);

// Re-reads which controls are read-only or inactive, and their values: one
// control's change (automatic exposure, say) can switch others.
void RefreshControls(IoctlPort& device, std::vector<Control>& controls);

} // namespace vocalyn::video::v4l2
