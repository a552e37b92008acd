// The program's sound streams as a sound server lists them: the real ring-tone player and voice
// terminal play into a PulseAudio server of the test's own (a silent speaker, a tone for a
// microphone, no network protocol), and pactl reads its listing.
#include "call/gst/GstMediaDevice.h"
#include "voice/gst/GstMediaTerm.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

using namespace vocalyn;

QByteArray Pactl(const QStringList& arguments) {
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), arguments);
    pactl.waitForFinished(5000);
    return pactl.readAllStandardOutput();
}

QJsonArray Listed(const char* list) {
    return QJsonDocument::fromJson(Pactl({"--format=json", "list", list})).array();
}

// A UDP port nobody uses now, for the terminal to talk to itself on.
int FreePort() {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    const int socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    ::bind(socket, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(socket);
    return ntohs(address.sin_port);
}

class SoundStreams : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty())
            GTEST_SKIP() << "needs pulseaudio and pactl (pulseaudio-utils)";
        const QString socket = dir_.filePath(QStringLiteral("pulse.sock"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // Its remembered volumes stay in the test's directory; it reaches no bus of the machine's.
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
            environment.insert(QLatin1String(name), dir_.path());
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=/nonexistent"));
        server_.setProcessEnvironment(environment);
        server_.setProcessChannelMode(QProcess::MergedChannels);
        // Ends with the test, even one killed at its timeout.
        server_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        // -n: none of the default modules, so no network protocol and no device of the machine.
        server_.start(QStringLiteral("pulseaudio"),
                      {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "-L",
                       "module-native-protocol-unix auth-anonymous=1 socket=" + socket, "-L",
                       "module-null-sink", "-L", "module-sine-source", "-L",
                       "module-stream-restore"});
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(socket); }, 5000))
            << server_.readAll().toStdString();
        // Read by each element as it connects, and by pactl.
        qputenv("PULSE_SERVER", "unix:" + socket.toUtf8());
        ringer_ = std::make_unique<call::GstMediaDevice>();
        terminal_ = std::make_unique<voice::GstMediaTerm>();
    }

    // A ring tone, and a call whose voice comes back to this terminal.
    void Play() {
        const call::MediaDevice::OpenResult opened =
            ringer_->Open(QStringLiteral(VOCALYN_ASSETS_DIR "/ringtone.wav"));
        ASSERT_EQ(opened.result, 0) << ringer_->ErrorText(opened.result).toStdString();
        ring_ = opened.device;
        ASSERT_EQ(ringer_->Play(ring_), 0);
        StartCall();
    }

    // A call whose voice comes back to this terminal.
    void StartCall() {
        const int port = FreePort();
        terminal_->InitTerminal();
        terminal_->SetupSender(4, 20, 0, 1, 1, 0);
        terminal_->SetSendTarget(u"127.0.0.1", port);
        terminal_->SetupReceiver(4, 20, 0, 0);
        terminal_->SetReceivePort(port);
        terminal_->StartReceiving(0);
        terminal_->StartSending(0);
    }

    // The stream in `list` with `role` and `name` (any name when null), once it shows.
    static QJsonObject Find(const char* list, const char* role, const char* name) {
        QJsonObject found;
        (void)QTest::qWaitFor(
            [&] {
                for (const QJsonValue entry : Listed(list)) {
                    const QJsonValue properties = entry["properties"];
                    if (properties["media.role"] == role &&
                        (!name || properties["media.name"] == name))
                        found = entry.toObject();
                }
                return !found.isEmpty();
            },
            5000);
        return found;
    }
    static QString Volume(const QJsonObject& stream) {
        const QJsonObject channels = stream["volume"].toObject(); // one channel, mono
        return channels.isEmpty() ? QString()
                                  : channels.begin()->toObject()["value_percent"].toString();
    }

    QTemporaryDir dir_;
    QProcess server_; // stopped after the program's elements have gone
    std::unique_ptr<call::GstMediaDevice> ringer_;
    std::unique_ptr<voice::GstMediaTerm> terminal_;
    call::MediaDevice::DeviceId ring_ = 0;
};

TEST_F(SoundStreams, EachStreamSaysWhatItIsAndKeepsAVolumeOfItsOwn) {
    ASSERT_NO_FATAL_FAILURE(Play());
    struct Case {
        const char* list;
        const char* role;
        const char* name; // null: pulsesrc names every stream "Record Stream"
    };
    for (const Case& c :
         {Case{"sink-inputs", "event", "Ring tone"}, Case{"sink-inputs", "phone", "Voice"},
          Case{"source-outputs", "phone", nullptr}}) {
        SCOPED_TRACE(std::string(c.list) + " " + c.role);
        const QJsonObject properties = Find(c.list, c.role, c.name)["properties"].toObject();
        EXPECT_EQ(properties["application.name"].toString(), "Vocalyn")
            << Pactl({"list", c.list}).toStdString();
        EXPECT_EQ(properties["application.icon_name"].toString(), "vocalyn");
    }

    // The user turns the ring tone down; the next call's voice stays as it was.
    const int ringIndex = Find("sink-inputs", "event", "Ring tone")["index"].toInt();
    Pactl({"set-sink-input-volume", QString::number(ringIndex), "20%"});
    ringer_->Close(ring_);
    terminal_->ExitTerminal();
    ASSERT_TRUE(QTest::qWaitFor([] { return Listed("sink-inputs").isEmpty(); }, 5000));
    ASSERT_NO_FATAL_FAILURE(Play());
    EXPECT_EQ(Volume(Find("sink-inputs", "event", "Ring tone")), "20%") << "not remembered";
    EXPECT_EQ(Volume(Find("sink-inputs", "phone", "Voice")), "100%");
}

// A call's voice comes out of the speaker, not silence with a burst now and then: the sound
// server's clock only runs while the speaker plays, and the jitter buffer must not drop what it
// holds while it waits for that clock to start.
TEST_F(SoundStreams, ACallsVoiceComesOutOfTheSpeaker) {
    voice::GstMediaTermOptions options;
    options.microphone =
        QStringLiteral("audiotestsrc is-live=true freq=440 volume=0.3 samplesperbuffer=480");
    terminal_ = std::make_unique<voice::GstMediaTerm>(options);
    StartCall();
    ASSERT_FALSE(Find("sink-inputs", "phone", "Voice").isEmpty());

    // Three seconds of what the speaker played, in 10 ms blocks; the first second is the call's
    // start.
    constexpr int kRate = 48000, kBlock = kRate / 100;
    QProcess parec;
    parec.start(QStringLiteral("parec"), {"--raw", "--format=s16le", "--rate=48000", "--channels=1",
                                          "-d", "@DEFAULT_MONITOR@"});
    QByteArray played;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            played += parec.readAllStandardOutput();
            return played.size() >= 3 * kRate * 2;
        },
        10000));
    parec.kill();
    parec.waitForFinished(1000);
    const auto* samples = reinterpret_cast<const std::int16_t*>(played.constData());
    int blocks = 0, loud = 0;
    for (int at = kRate; at + kBlock <= 3 * kRate; at += kBlock, ++blocks)
        loud += std::any_of(samples + at, samples + at + kBlock,
                            [](std::int16_t sample) { return std::abs(sample) > 1000; });
    EXPECT_GT(loud, blocks * 9 / 10) << loud << " of " << blocks << " 10 ms blocks heard";
}

} // namespace
