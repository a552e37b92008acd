// The source and format dialogs' models on a scripted device: which controls
// and formats a driver's answers make, and what writing them does.
#include "video/capture/v4l2/ControlModel.h"
#include "tests/video/ScriptedDevice.h"
#include "video/capture/v4l2/FormatChoices.h"
#include "video/capture/v4l2/FormatDialog.h"
#include "video/capture/v4l2/SourceDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSlider>
#include <QSpinBox>
#include <gtest/gtest.h>

using namespace vocalyn::video::v4l2;
using vocalyn::test::ScriptedDevice;

namespace {

constexpr std::uint32_t kAutoExposure = V4L2_CID_EXPOSURE_AUTO;
constexpr std::uint32_t kExposure = V4L2_CID_EXPOSURE_ABSOLUTE;

// A webcam as UVC drivers present one, with the controls that depend on each
// other: manual exposure only while automatic exposure is off.
ScriptedDevice Webcam() {
    ScriptedDevice device;
    device.AddControl(V4L2_CID_USER_CLASS, "User Controls", V4L2_CTRL_TYPE_CTRL_CLASS, 0, 0, 0, 0,
                      V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY);
    device.AddControl(V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, -64, 64, 1, 0)
        .value = 10;
    device.AddControl(V4L2_CID_CONTRAST, "Contrast", V4L2_CTRL_TYPE_INTEGER, 0, 100, 5, 50);
    device.AddControl(V4L2_CID_HUE, "Hue", V4L2_CTRL_TYPE_INTEGER, -40, 40, 1, 0,
                      V4L2_CTRL_FLAG_DISABLED);
    device.AddControl(V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic",
                      V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1, 1);
    device
        .AddControl(V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", V4L2_CTRL_TYPE_MENU, 0,
                    3, 1, 1)
        .menu = {{0, "Disabled"}, {1, "50 Hz"}, {3, "Auto"}}; // 2 is a hole
    device.AddControl(V4L2_CID_GAIN, "Gain", V4L2_CTRL_TYPE_INTEGER64, 0, 255, 1, 0);
    auto& autoExposure =
        device.AddControl(kAutoExposure, "Auto Exposure", V4L2_CTRL_TYPE_MENU, 0, 3, 1, 3);
    autoExposure.menu = {{1, "Manual Mode"}, {3, "Aperture Priority Mode"}};
    device.AddControl(kExposure, "Exposure Time, Absolute", V4L2_CTRL_TYPE_INTEGER, 3, 2047, 1, 250,
                      V4L2_CTRL_FLAG_INACTIVE);
    device.afterWrite = [](ScriptedDevice& d) {
        auto& flags = d.Find(kExposure)->query.flags;
        const bool manual = d.Find(kAutoExposure)->value == 1;
        flags = manual ? flags & ~V4L2_CTRL_FLAG_INACTIVE : flags | V4L2_CTRL_FLAG_INACTIVE;
    };
    return device;
}

std::vector<QString> Names(const std::vector<Control>& controls) {
    std::vector<QString> names;
    for (const Control& control : controls)
        names.push_back(control.name);
    return names;
}

const Control& Named(const std::vector<Control>& controls, std::uint32_t id) {
    for (const Control& control : controls)
        if (control.id == id)
            return control;
    throw std::runtime_error("no such control");
}

} // namespace

TEST(ControlModel, WalksTheDeviceAndKeepsWhatADialogCanEdit) {
    ScriptedDevice device = Webcam();
    const std::vector<Control> controls = QueryControls(device);
    // No class heading, no disabled control, no 64-bit one.
    EXPECT_EQ(
        Names(controls),
        (std::vector<QString>{"Brightness", "Contrast", "White Balance, Automatic",
                              "Power Line Frequency", "Auto Exposure", "Exposure Time, Absolute"}));
    EXPECT_EQ(Named(controls, V4L2_CID_BRIGHTNESS).value, 10);
    EXPECT_EQ(Named(controls, V4L2_CID_CONTRAST).step, 5);
    EXPECT_EQ(Named(controls, V4L2_CID_AUTO_WHITE_BALANCE).kind, Control::Kind::Boolean);

    const Control& frequency = Named(controls, V4L2_CID_POWER_LINE_FREQUENCY);
    ASSERT_EQ(frequency.items.size(), 3u);
    EXPECT_EQ(frequency.items[2].index, 3);
    EXPECT_EQ(frequency.items[2].text, "Auto");
    EXPECT_FALSE(Named(controls, kExposure).editable());
}

TEST(ControlModel, OlderDriversAreAskedForTheFixedIdsInstead) {
    ScriptedDevice device = Webcam();
    device.walksControls = false;
    device.AddControl(V4L2_CID_PRIVATE_BASE, "Vendor Sharpness", V4L2_CTRL_TYPE_INTEGER, 0, 7, 1,
                      3);
    const std::vector<QString> names = Names(QueryControls(device));
    // The camera class's exposure controls lie outside the fixed user range.
    EXPECT_EQ(names, (std::vector<QString>{"Brightness", "Contrast", "White Balance, Automatic",
                                           "Power Line Frequency", "Vendor Sharpness"}));
}

TEST(ControlModel, MenusAndIntegerMenusWithoutAnyChoiceAreLeftOut) {
    ScriptedDevice device;
    device.AddControl(V4L2_CID_COLORFX, "Colour Effects", V4L2_CTRL_TYPE_MENU, 0, 2, 1, 0);
    device.AddControl(V4L2_CID_ISO_SENSITIVITY, "ISO", V4L2_CTRL_TYPE_INTEGER_MENU, 0, 1, 1, 0)
        .menu = {{0, "100"}, {1, "200"}};
    const std::vector<Control> controls = QueryControls(device);
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_EQ(controls[0].items[1].text, "200");
}

TEST(ControlModel, ValuesAreSnappedToTheRangeAndGridAndReadBack) {
    Control contrast;
    contrast.minimum = -10;
    contrast.maximum = 12;
    contrast.step = 5;
    EXPECT_EQ(SnapToStep(contrast, -100), -10);
    EXPECT_EQ(SnapToStep(contrast, 2), 0);
    EXPECT_EQ(SnapToStep(contrast, 3), 5);
    EXPECT_EQ(SnapToStep(contrast, 100), 10); // 12 is off the grid

    ScriptedDevice device = Webcam();
    std::vector<Control> controls = QueryControls(device);
    Control& scripted = const_cast<Control&>(Named(controls, V4L2_CID_CONTRAST));
    EXPECT_TRUE(WriteControl(device, scripted, 63));
    EXPECT_EQ(device.Find(V4L2_CID_CONTRAST)->value, 65);
    EXPECT_EQ(scripted.value, 65);

    Control& exposure = const_cast<Control&>(Named(controls, kExposure));
    EXPECT_FALSE(WriteControl(device, exposure, 100)); // inactive: refused
    EXPECT_EQ(exposure.value, 250);
}

TEST(SourceDialog, ChangesGoToTheDeviceAtOnceAndSwitchDependentControls) {
    ScriptedDevice device = Webcam();
    SourceDialog dialog(device, QStringLiteral("Test Cam"));
    auto* brightness = dialog.editor(V4L2_CID_BRIGHTNESS)->findChild<QSlider*>();
    auto* brightnessBox = dialog.editor(V4L2_CID_BRIGHTNESS)->findChild<QSpinBox*>();
    ASSERT_TRUE(brightness && brightnessBox);
    EXPECT_EQ(brightness->value(), 10);
    brightness->setValue(-20);
    EXPECT_EQ(device.Find(V4L2_CID_BRIGHTNESS)->value, -20);
    EXPECT_EQ(brightnessBox->value(), -20);

    QWidget* exposure = dialog.editor(kExposure);
    EXPECT_FALSE(exposure->isEnabled());
    auto* mode = qobject_cast<QComboBox*>(dialog.editor(kAutoExposure));
    ASSERT_NE(mode, nullptr);
    mode->setCurrentIndex(mode->findData(1));
    emit mode->activated(mode->currentIndex());
    EXPECT_EQ(device.Find(kAutoExposure)->value, 1);
    EXPECT_TRUE(exposure->isEnabled());
    exposure->findChild<QSpinBox*>()->setValue(400);
    EXPECT_EQ(device.Find(kExposure)->value, 400);

    auto* balance = qobject_cast<QCheckBox*>(dialog.editor(V4L2_CID_AUTO_WHITE_BALANCE));
    balance->setChecked(false);
    EXPECT_EQ(device.Find(V4L2_CID_AUTO_WHITE_BALANCE)->value, 0);

    // Cancel puts back what the dialog found: the exposure time while it was
    // still writable, then the automatic mode that rules it.
    dialog.reject();
    EXPECT_EQ(device.Find(V4L2_CID_BRIGHTNESS)->value, 10);
    EXPECT_EQ(device.Find(V4L2_CID_AUTO_WHITE_BALANCE)->value, 1);
    EXPECT_EQ(device.Find(kAutoExposure)->value, 3);
    EXPECT_EQ(device.Find(kExposure)->value, 250);
}

TEST(FormatChoices, ListEachFormatWithItsSizesSmallestFirst) {
    ScriptedDevice device;
    device.formats.push_back(
        {V4L2_PIX_FMT_YUYV,
         "YUYV 4:2:2",
         false,
         {ScriptedDevice::Discrete(640, 480), ScriptedDevice::Discrete(160, 120),
          ScriptedDevice::Discrete(640, 480)},
         {}});
    device.formats.push_back({V4L2_PIX_FMT_BGR24,
                              "BGR3",
                              true,
                              {ScriptedDevice::Stepwise(32, 800, 32, 16, 600, 8)},
                              {}});
    const std::vector<PixelFormatChoice> choices = QueryFormatChoices(device);
    ASSERT_EQ(choices.size(), 2u);
    EXPECT_EQ(choices[0].sizes, (std::vector<QSize>{{160, 120}, {640, 480}}));
    EXPECT_FALSE(choices[0].emulated);
    EXPECT_TRUE(choices[1].emulated);
    // A range offers the usual sizes on its grid (176 is not 32 + a multiple
    // of 32) and its largest.
    EXPECT_EQ(
        choices[1].sizes,
        (std::vector<QSize>{
            {160, 120}, {320, 240}, {352, 288}, {384, 288}, {640, 480}, {768, 576}, {800, 600}}));
}

TEST(FormatChoices, AnRgbRequestStreamsTheCamerasOwnYuvOnlyAtTheSameSizeAndRate) {
    using Format = ScriptedDevice::ScriptedFormat;
    using Size = std::vector<v4l2_frmsizeenum>;
    const Size vga{ScriptedDevice::Discrete(640, 480)};
    const Size cif{ScriptedDevice::Discrete(352, 288), ScriptedDevice::Discrete(640, 480)};
    const std::vector<v4l2_fract> fast{{1, 30}, {1, 15}}, slow{{1, 15}};
    const auto own = [](std::uint32_t code, const Size& sizes,
                        const std::vector<v4l2_fract>& intervals) {
        return Format{code, FourCCText(code), false, sizes, intervals};
    };
    // libv4l2 makes BGR3 (or YU12) from the camera's formats at their sizes and rates.
    const auto made = [](std::uint32_t code, const Size& sizes) {
        return Format{code, FourCCText(code), true, sizes, {{1, 30}, {1, 15}}};
    };
    const struct {
        const char* what;
        std::vector<Format> formats;
        std::uint32_t requested, streamed;
    } cases[] = {
        {"own YUYV",
         {own(V4L2_PIX_FMT_YUYV, cif, fast), made(V4L2_PIX_FMT_BGR24, cif)},
         V4L2_PIX_FMT_BGR24,
         V4L2_PIX_FMT_YUYV},
        {"own UYVY",
         {own(V4L2_PIX_FMT_UYVY, cif, fast), made(V4L2_PIX_FMT_BGR24, cif)},
         V4L2_PIX_FMT_BGR24,
         V4L2_PIX_FMT_UYVY},
        {"YUYV at another size",
         {own(V4L2_PIX_FMT_YUYV, vga, fast), own(V4L2_PIX_FMT_MJPEG, cif, fast),
          made(V4L2_PIX_FMT_BGR24, cif)},
         V4L2_PIX_FMT_BGR24,
         V4L2_PIX_FMT_BGR24},
        {"YUYV slower",
         {own(V4L2_PIX_FMT_YUYV, cif, slow), own(V4L2_PIX_FMT_MJPEG, cif, fast),
          made(V4L2_PIX_FMT_BGR24, cif)},
         V4L2_PIX_FMT_BGR24,
         V4L2_PIX_FMT_BGR24},
        {"own RGB",
         {own(V4L2_PIX_FMT_YUYV, cif, fast), own(V4L2_PIX_FMT_BGR24, cif, fast)},
         V4L2_PIX_FMT_BGR24,
         V4L2_PIX_FMT_BGR24},
        {"YUYV made by libv4l2",
         {own(V4L2_PIX_FMT_MJPEG, cif, fast), made(V4L2_PIX_FMT_YUYV, cif),
          made(V4L2_PIX_FMT_BGR24, cif)},
         V4L2_PIX_FMT_BGR24,
         V4L2_PIX_FMT_BGR24},
        {"YUV asked for",
         {own(V4L2_PIX_FMT_YUYV, cif, fast), made(V4L2_PIX_FMT_YUV420, cif)},
         V4L2_PIX_FMT_YUV420,
         V4L2_PIX_FMT_YUV420},
    };
    for (const auto& each : cases) {
        ScriptedDevice device;
        device.formats = each.formats;
        EXPECT_EQ(StreamPixelFormat(device, each.requested, 384, 288), each.streamed) << each.what;
    }
}

TEST(FormatDialog, OffersTheCurrentFormatAndKeepsTheSizeAcrossFormats) {
    std::vector<PixelFormatChoice> choices = {
        {V4L2_PIX_FMT_YUYV, "YUYV 4:2:2", false, {{320, 240}, {640, 480}}},
        {V4L2_PIX_FMT_BGR24, "BGR3", true, {{640, 480}, {1280, 720}}},
    };
    FormatDialog dialog(choices, V4L2_PIX_FMT_YUYV, QSize(640, 480), QStringLiteral("Cam"));
    EXPECT_EQ(dialog.chosenFormat(), V4L2_PIX_FMT_YUYV);
    EXPECT_EQ(dialog.chosenSize(), QSize(640, 480));
    dialog.formatBox()->setCurrentIndex(1);
    EXPECT_EQ(dialog.chosenFormat(), V4L2_PIX_FMT_BGR24);
    EXPECT_EQ(dialog.chosenSize(), QSize(640, 480));
    EXPECT_EQ(dialog.sizeBox()->count(), 2);

    // A format the driver does not list still shows as the current one.
    FormatDialog unlisted(choices, V4L2_PIX_FMT_MJPEG, QSize(800, 600), QStringLiteral("Cam"));
    EXPECT_EQ(unlisted.chosenFormat(), V4L2_PIX_FMT_MJPEG);
    EXPECT_EQ(unlisted.chosenSize(), QSize(800, 600));
    EXPECT_EQ(FourCCText(V4L2_PIX_FMT_MJPEG), "MJPG");
}
