#include "call/TMediaPlayer.h"

#include "tests/fakes/FakeMediaDevice.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

#include <utility>

namespace vocalyn::call {
namespace {

using fakes::FakeMediaDevice;

class TMediaPlayerTest : public ::testing::Test {
protected:
    // The operations recorded since the last call.
    QStringList TakeOperations() { return std::exchange(device_.operations, {}); }

    void Open(const QString& path) {
        player_.FileName = path;
        player_.Open();
    }

    FakeMediaDevice device_;
    TMediaPlayer player_{device_};
};

TEST_F(TMediaPlayerTest, RingsStopsAndClosesWithTheFileLeftOpenInBetween) {
    Open("/tones/ring.wav");
    EXPECT_TRUE(player_.opened());
    const auto id = player_.deviceId();
    EXPECT_NE(id, 0);

    player_.Play();
    device_.Advance(id, 1200);
    player_.Stop();
    EXPECT_EQ(TakeOperations(),
              QStringList({"open /tones/ring.wav", "status 1", "play 1", "stop 1"}));
    EXPECT_TRUE(device_.isOpen(id));

    // Stopped in the middle: playing again goes on from there.
    player_.Play();
    EXPECT_EQ(TakeOperations(), QStringList({"status 1", "play 1"}));
    EXPECT_EQ(device_.position(id), 1200);

    player_.Close();
    player_.Close();
    EXPECT_EQ(TakeOperations(), QStringList({"close 1"}));
    EXPECT_FALSE(player_.opened());
    EXPECT_EQ(player_.deviceId(), 0);
}

TEST_F(TMediaPlayerTest, OpenWhileOpenClosesTheOldDeviceFirst) {
    Open("/tones/a.wav");
    Open("/tones/b.mp3");
    EXPECT_EQ(TakeOperations(), QStringList({"open /tones/a.wav", "close 1", "open /tones/b.mp3"}));
    EXPECT_EQ(device_.path(player_.deviceId()), "/tones/b.mp3");
    EXPECT_FALSE(device_.isOpen(1));
}

TEST_F(TMediaPlayerTest, PlayingAfterTheEndStartsAgainFromTheBeginning) {
    int notices = 0;
    player_.OnNotify = [&] { ++notices; };
    Open("/tones/ring.wav");
    player_.Play();
    device_.ReachEnd(player_.deviceId());
    EXPECT_EQ(notices, 1);
    TakeOperations();

    player_.Play();
    EXPECT_EQ(TakeOperations(), QStringList({"status 1", "seekToStart 1", "play 1"}));
    EXPECT_EQ(device_.position(1), 0);

    // Without a known position there is nothing to compare, so no rewind.
    device_.ReachEnd(1);
    device_.statusResult = 277;
    player_.Play();
    EXPECT_EQ(TakeOperations(), QStringList({"status 1", "play 1"}));
}

TEST_F(TMediaPlayerTest, PlayAndStopNeedAnOpenDevice) {
    const auto expectRefused = [&] {
        for (auto operation : {&TMediaPlayer::Play, &TMediaPlayer::Stop}) {
            try {
                (player_.*operation)();
                ADD_FAILURE() << "no error";
            } catch (const EMCIDeviceError& e) {
                EXPECT_EQ(e.message(), "No MCI device open");
            }
        }
        EXPECT_TRUE(TakeOperations().filter(QRegularExpression("^(play|stop|status)")).isEmpty());
    };
    expectRefused(); // never opened

    Open("/tones/ring.wav");
    player_.Close();
    expectRefused();

    device_.openFailures["/tones/broken.wma"] = 275;
    EXPECT_THROW(Open("/tones/broken.wma"), EMCIDeviceError);
    expectRefused();
}

TEST_F(TMediaPlayerTest, AFailedOpenRaisesTheDevicesTextAndLeavesThePlayerClosed) {
    device_.openFailures["/tones/missing.mp3"] = 275;
    device_.openFailures["/tones/odd.wma"] = 999;
    device_.errorTexts[275] = "Cannot find the specified file.";

    Open("/tones/ring.wav");
    try {
        Open("/tones/missing.mp3");
        ADD_FAILURE() << "no error";
    } catch (const EMCIDeviceError& e) {
        EXPECT_EQ(e.message(), "Cannot find the specified file.");
    }
    EXPECT_EQ(TakeOperations(), QStringList({"open /tones/ring.wav", "close 1",
                                             "open /tones/missing.mp3", "errorText 275"}));
    EXPECT_FALSE(player_.opened());
    EXPECT_EQ(player_.deviceId(), 0);
    EXPECT_EQ(player_.lastResult(), 275);

    try {
        Open("/tones/odd.wma");
        ADD_FAILURE() << "no error";
    } catch (const EMCIDeviceError& e) {
        EXPECT_EQ(e.message(), "Unknown error code");
    }
}

TEST_F(TMediaPlayerTest, FailuresOfAnOpenDeviceAreKeptNotRaised) {
    Open("/tones/ring.wav");
    device_.playResult = 7;
    EXPECT_NO_THROW(player_.Play());
    EXPECT_EQ(player_.lastResult(), 7);
    device_.stopResult = 8;
    EXPECT_NO_THROW(player_.Stop());
    EXPECT_EQ(player_.lastResult(), 8);

    // A refused close leaves the device open, and the next close tries again.
    device_.closeResult = 9;
    EXPECT_NO_THROW(player_.Close());
    EXPECT_EQ(player_.lastResult(), 9);
    EXPECT_TRUE(player_.opened());
    EXPECT_EQ(player_.deviceId(), 1);
    device_.closeResult = 0;
    player_.Close();
    EXPECT_FALSE(device_.isOpen(1));
}

TEST(TMediaPlayerLifetimeTest, DestroyingThePlayerClosesItsDeviceAndStopsListening) {
    FakeMediaDevice device;
    int notices = 0;
    {
        TMediaPlayer player(device);
        player.OnNotify = [&] { ++notices; };
        player.FileName = "/tones/ring.wav";
        player.Open();
        player.Play();
    }
    EXPECT_EQ(device.operations.last(), "close 1");
    device.ReachEnd(1);
    EXPECT_EQ(notices, 0);
}

} // namespace
} // namespace vocalyn::call
