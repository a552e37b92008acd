#include "call/gst/GstMediaDevice.h"
#include "base/gst/GstHandles.h"
#include "base/gst/GstRuntime.h"

#include "base/Error.h"
#include "call/TMediaPlayer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace vocalyn::call {
namespace {

// The fake sink keeps real time, so a medium plays as long as it lasts, without sound hardware.
constexpr auto kSink = "fakesink sync=true";
constexpr int kWait_ms = 5000;

// Writes a tone of the given length through the encoder and muxer of a launch description.
void Encode(const QString& path, int duration_ms, const QString& encoder) {
    InitGStreamer();
    const int buffers = duration_ms / 10; // 10 ms of 44100 Hz per buffer
    const QString description =
        QStringLiteral("audiotestsrc num-buffers=%1 samplesperbuffer=441 ! audioconvert ! "
                       "audioresample ! %2 ! filesink location=\"%3\"")
            .arg(buffers)
            .arg(encoder, path);
    GError* raw = nullptr;
    const auto pipeline = AdoptElement(gst_parse_launch(description.toUtf8().constData(), &raw));
    const GErrorPtr error(raw);
    ASSERT_FALSE(error) << error->message;
    const GstBusPtr bus(gst_element_get_bus(pipeline.get()));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    const GstMessagePtr done(gst_bus_timed_pop_filtered(
        bus.get(), 10 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    ASSERT_TRUE(done && GST_MESSAGE_TYPE(done.get()) == GST_MESSAGE_EOS) << qPrintable(encoder);
}

class GstPlayerTest : public ::testing::Test {
protected:
    QString file(const QString& name) const { return dir_.filePath(name); }
    MediaDevice::Status PlayerStatus() { return device_.StatusOf(player_.deviceId()); }
    bool AtEnd() {
        const auto now = PlayerStatus();
        return now.result == 0 && now.position_ms == now.length_ms;
    }

    QTemporaryDir dir_;
    GstMediaDevice device_{kSink};
    TMediaPlayer player_{device_};
    int notices_ = 0;

    void SetUp() override {
        player_.OnNotify = [this] { ++notices_; };
    }
};

struct Kind {
    const char* extension;
    const char* encoder;
};

void PrintTo(const Kind& kind, std::ostream* out) {
    *out << kind.extension;
}

class GstPlayerKindTest : public GstPlayerTest, public ::testing::WithParamInterface<Kind> {};

TEST_P(GstPlayerKindTest, PlaysToTheEndAndAgainFromTheStart) {
    player_.FileName = file(QStringLiteral("tone.") + GetParam().extension);
    ASSERT_NO_FATAL_FAILURE(Encode(player_.FileName, 500, GetParam().encoder));
    player_.Open();
    EXPECT_EQ(PlayerStatus().position_ms, 0);

    player_.Play();
    EXPECT_FALSE(AtEnd()) << "Play waited for the end";
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices_ == 1; }, kWait_ms));
    EXPECT_TRUE(AtEnd());
    EXPECT_NEAR(PlayerStatus().length_ms, 500, 60);

    player_.Play();
    EXPECT_LT(PlayerStatus().position_ms, 250);
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices_ == 2; }, kWait_ms));
}

INSTANTIATE_TEST_SUITE_P(Kinds, GstPlayerKindTest,
                         ::testing::Values(Kind{"wav", "wavenc"}, Kind{"mp3", "lamemp3enc"},
                                           Kind{"wma", "avenc_wmav2 ! asfmux"}),
                         [](const auto& info) { return std::string(info.param.extension); });

TEST_F(GstPlayerTest, StopKeepsThePositionAndPlayGoesOnFromIt) {
    player_.FileName = file("long.wav");
    ASSERT_NO_FATAL_FAILURE(Encode(player_.FileName, 1500, "wavenc"));
    player_.Open();
    player_.Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return PlayerStatus().position_ms >= 300; }, kWait_ms));
    player_.Stop();

    const qint64 stoppedAt = PlayerStatus().position_ms;
    EXPECT_LT(stoppedAt, 1200);
    EXPECT_FALSE(QTest::qWaitFor([&] { return PlayerStatus().position_ms != stoppedAt; }, 300));
    EXPECT_EQ(notices_, 0);

    player_.Play();
    EXPECT_GE(PlayerStatus().position_ms, stoppedAt - 50);
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices_ == 1; }, kWait_ms));
}

TEST_F(GstPlayerTest, FilesThatDoNotPlayRaiseTheBackEndsText) {
    player_.FileName = file("tone.wav");
    ASSERT_NO_FATAL_FAILURE(Encode(player_.FileName, 200, "wavenc"));
    player_.Open();
    const auto previous = player_.deviceId();

    player_.FileName = file("missing.wav");
    try {
        player_.Open();
        ADD_FAILURE() << "no error";
    } catch (const EMCIDeviceError& e) {
        EXPECT_TRUE(e.message().contains("not found", Qt::CaseInsensitive)) << e.what();
    }
    EXPECT_FALSE(player_.opened());
    EXPECT_EQ(device_.StatusOf(previous).result, GstMediaDevice::InvalidDevice);

    QFile text(file("notes.wav"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("This is not a sound.\n");
    text.close();
    const QString picture = file("picture.mp3");
    ASSERT_TRUE(QFile::copy(VOCALYN_ASSETS_DIR "/call@3x.png", picture));

    for (const QString& path : {text.fileName(), picture}) {
        player_.FileName = path;
        try {
            player_.Open();
            ADD_FAILURE() << "no error for " << qPrintable(path);
        } catch (const EMCIDeviceError& e) {
            EXPECT_FALSE(e.message().isEmpty());
            EXPECT_NE(e.message(), "Unknown error code");
        }
        EXPECT_FALSE(player_.opened());
    }
}

TEST_F(GstPlayerTest, AClosedDeviceIsSilent) {
    player_.FileName = file("tone.wav");
    ASSERT_NO_FATAL_FAILURE(Encode(player_.FileName, 300, "wavenc"));
    player_.Open();
    player_.Play();
    player_.Close();
    EXPECT_FALSE(QTest::qWaitFor([&] { return notices_ > 0; }, 800));
}

TEST_F(GstPlayerTest, TheShippedRingToneIsAShortSound) {
    player_.FileName = QStringLiteral(VOCALYN_ASSETS_DIR "/ringtone.wav");
    player_.Open();
    EXPECT_GE(PlayerStatus().length_ms, 2000);
    EXPECT_LE(PlayerStatus().length_ms, 3000);
}

TEST(GstPlayerSinkTest, AWorkingSinkLeavesNothingToReport) {
    EXPECT_EQ(GstMediaDevice(kSink).unavailableReason(), "");
}

// A desktop without the sink still gets a device: it says why at once and refuses every file
// with that reason, as the player reports any file it cannot open.
TEST(GstPlayerSinkTest, WithoutItsSinkEveryOpenFailsWithTheReason) {
    GstMediaDevice device("nosuchsink");
    const QString reason = device.unavailableReason();
    EXPECT_TRUE(reason.startsWith("No ring tone: ")) << qPrintable(reason);
    EXPECT_TRUE(reason.contains("nosuchsink")) << qPrintable(reason);

    TMediaPlayer player(device);
    for (int attempt = 0; attempt < 2; ++attempt) {
        player.FileName = QStringLiteral(VOCALYN_ASSETS_DIR "/ringtone.wav");
        try {
            player.Open();
            ADD_FAILURE() << "no error";
        } catch (const EMCIDeviceError& e) {
            EXPECT_EQ(e.message(), reason);
        }
        EXPECT_FALSE(player.opened());
        EXPECT_EQ(player.lastResult(), GstMediaDevice::Unavailable);
        EXPECT_THROW(player.Play(), EMCIDeviceError);
    }
    player.Close(); // nothing is open, nothing is reported
}

} // namespace
} // namespace vocalyn::call
