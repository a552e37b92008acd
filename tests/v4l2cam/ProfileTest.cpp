// The emulated camera's profiles: the sizes it picks as a UVC driver does, and files it refuses.
#include "tests/v4l2cam/Profile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <fstream>

namespace v4l2cam {
namespace {

TEST(CameraProfile, NearestSizeIsTheOneSharingTheMostArea) {
    const Format yuyv{V4L2_PIX_FMT_YUYV, "YUYV", {{640, 480}, {352, 288}, {320, 240}, {160, 120}}};
    const struct {
        std::uint32_t width, height, wantWidth, wantHeight;
    } cases[] = {
        {384, 288, 352, 288},   // the program's request
        {640, 480, 640, 480},   // listed sizes come back as they are
        {1920, 1080, 640, 480}, // larger than any: the largest
        {1, 1, 160, 120},       // smaller than any: the smallest
        {330, 250, 320, 240},
    };
    for (const auto& c : cases) {
        const FrameSize size = NearestSize(yuyv, c.width, c.height);
        EXPECT_EQ(size.width, c.wantWidth) << c.width << " x " << c.height;
        EXPECT_EQ(size.height, c.wantHeight) << c.width << " x " << c.height;
    }
}

class ProfileFile : public ::testing::Test {
protected:
    std::optional<Profile> Read(const std::string& text) {
        const std::string path = dir.filePath(QStringLiteral("test.cam")).toStdString();
        std::ofstream(path) << text;
        error.clear();
        return ReadProfile(path, error);
    }
    QTemporaryDir dir;
    std::string error;
};

TEST_F(ProfileFile, ReadsFormatsControlsMenusAndRules) {
    const std::optional<Profile> profile =
        Read("card Cam\nscene natural\nformat YUYV 640x480 320x240\ninterval 1/30 1/15\n"
             "control auto_exposure 0 3 1 3 Auto Exposure\nitem auto_exposure 1 Manual Mode\n"
             "item auto_exposure 3 Aperture Priority Mode\n"
             "control exposure_time_absolute 3 2047 1 250 Exposure\n"
             "active_with exposure_time_absolute auto_exposure 1\n");
    ASSERT_TRUE(profile) << error;
    EXPECT_EQ(profile->card, "Cam");
    EXPECT_EQ(profile->scene, Profile::Scene::Natural);
    ASSERT_EQ(profile->formats.size(), 1u);
    EXPECT_EQ(profile->formats[0].sizes.size(), 2u);
    EXPECT_EQ(profile->intervals.size(), 2u);
    ASSERT_EQ(profile->controls.size(), 2u);
    EXPECT_EQ(profile->controls[0].items.size(), 2u);
    EXPECT_EQ(profile->controls[1].activeWithId, std::uint32_t{V4L2_CID_EXPOSURE_AUTO});
}

TEST_F(ProfileFile, RefusesWhatMakesNoSense) {
    for (const char* text : {
             "format YUYV 99999x480\n",                             // too large
             "format YUYV 641x480\n",                               // odd YUYV width
             "format H264 640x480\n",                               // a format it cannot make
             "format YUYV\n",                                       // no sizes
             "format YUYV 640x480\ninterval 0/30\n",                // no interval
             "format YUYV 640x480\ncontrol focus 0 1 1 0 F\n",      // an unknown control
             "format YUYV 640x480\ncontrol brightness 9 1 1 5 B\n", // minimum above maximum
             "format YUYV 640x480\ncontrol power_line_frequency 0 2 1 1 P\n", // a menu, no items
             "format YUYV 640x480\nitem brightness 1 x\n",                    // an item of no menu
             "kind webcam\n",                                                 // an unknown kind
             "format YUYV 640x480\nscene beach\n",                            // an unknown scene
             "card\n",                                                        // an empty name
             "format YUYV 640x480\nstall_ms 900 300\n", // ends before it starts
             "",                                        // a capture node without formats
         }) {
        EXPECT_FALSE(Read(text)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    EXPECT_FALSE(Read(std::string(600, 'x'))); // an endless line
    std::string many;
    for (int i = 0; i < 600; ++i)
        many += "# comment\n";
    EXPECT_FALSE(Read(many));                      // an endless file
    EXPECT_TRUE(Read("kind metadata\n")) << error; // a metadata node needs no format
}

} // namespace
} // namespace v4l2cam
