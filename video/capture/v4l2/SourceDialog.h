#pragma once

#include "video/capture/v4l2/ControlModel.h"

#include <QDialog>

#include <map>

class QWidget;

namespace vocalyn::video::v4l2 {

// The video source dialog: one editor per control of the device. A change
// goes to the device at once, so the preview shows it while the dialog is
// open; Cancel puts back the values the dialog found, Defaults the device's
// defaults.
class SourceDialog : public QDialog {
    Q_OBJECT
public:
    SourceDialog(IoctlPort& device, const QString& deviceName, QWidget* parent = nullptr);

    const std::vector<Control>& controls() const { return controls_; }
    // The editor of a control, for tests; null when the control has none.
    QWidget* editor(std::uint32_t id) const;

    void reject() override;

private:
    QWidget* MakeEditor(const Control& control);
    void Change(std::uint32_t id, std::int32_t value);
    void RestoreDefaults();
    // Shows the controls' values and states after the device has switched some.
    void ShowControls();
    Control* Find(std::uint32_t id);

    IoctlPort& device_;
    std::vector<Control> controls_;
    std::vector<Control> found_; // as the dialog found them, for Cancel
    std::map<std::uint32_t, QWidget*> editors_;
};

} // namespace vocalyn::video::v4l2
