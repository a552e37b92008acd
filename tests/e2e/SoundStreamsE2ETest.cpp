// The program's sound streams as a sound server lists them: the real ring-tone player and voice
// terminal play into a PulseAudio server of the test's own (a silent speaker, a tone for a
// microphone, nothing on any network), and the test reads the server's listing with pactl.
#include "call/gst/GstMediaDevice.h"
#include "voice/gst/GstMediaTerm.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

using namespace vocalyn;

const QString kRingTone = QStringLiteral(VOCALYN_ASSETS_DIR "/ringtone.wav");

class PrivateSoundServer {
public:
    PrivateSoundServer() {
        const QString socket = dir_.filePath(QStringLiteral("pulse.sock"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // Its state (the remembered volumes) stays in the test's directory, and it reaches no
        // message bus of the machine's.
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
            environment.insert(QLatin1String(name), dir_.path());
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=/nonexistent"));
        daemon_.setProcessEnvironment(environment);
        daemon_.setProcessChannelMode(QProcess::MergedChannels);
        // -n: none of the default modules, so no network protocol and no device of the machine.
        daemon_.start(QStringLiteral("pulseaudio"),
                      {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "-L",
                       "module-native-protocol-unix auth-anonymous=1 socket=" + socket, "-L",
                       "module-null-sink sink_name=speaker", "-L",
                       "module-sine-source source_name=microphone frequency=440", "-L",
                       "module-stream-restore"});
        if (QTest::qWaitFor([&] { return QFile::exists(socket); }, 5000))
            address_ = "unix:" + socket;
    }
    ~PrivateSoundServer() {
        daemon_.terminate();
        if (!daemon_.waitForFinished(3000))
            daemon_.kill();
        daemon_.waitForFinished(2000);
    }

    const QString& address() const { return address_; } // empty when it did not start
    QString output() { return QString::fromLocal8Bit(daemon_.readAll()); }

    QString Control(const QStringList& arguments) const {
        QProcess pactl;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PULSE_SERVER"), address_);
        pactl.setProcessEnvironment(environment);
        pactl.start(QStringLiteral("pactl"), arguments);
        pactl.waitForFinished(5000);
        return QString::fromUtf8(pactl.readAllStandardOutput());
    }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
};

struct Listed {
    QString index;
    int volume_percent = -1;
    QMap<QString, QString> properties;
};

// The entries of "pactl list sink-inputs" or "source-outputs".
QList<Listed> Parse(const QString& listing) {
    static const QRegularExpression header(QStringLiteral(R"(^\S.*#(\d+)$)"));
    static const QRegularExpression volume(QStringLiteral(R"(^\tVolume: \S+: +\d+ / +(\d+)%)"));
    static const QRegularExpression property(QStringLiteral(R"re(^\t\t([\w.-]+) = "(.*)"$)re"));
    QList<Listed> entries;
    for (const QString& line : listing.split(QLatin1Char('\n'))) {
        QRegularExpressionMatch match;
        if ((match = header.match(line)).hasMatch())
            entries.append({match.captured(1), -1, {}});
        else if (entries.isEmpty())
            continue;
        else if ((match = volume.match(line)).hasMatch())
            entries.back().volume_percent = match.captured(1).toInt();
        else if ((match = property.match(line)).hasMatch())
            entries.back().properties.insert(match.captured(1), match.captured(2));
    }
    return entries;
}

// A UDP port nobody uses now, for the terminal to talk to itself on.
int FreePort() {
    const int socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(socket, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(socket);
    return port;
}

class SoundStreams : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty())
            GTEST_SKIP() << "needs pulseaudio and pactl (pulseaudio-utils)";
        ASSERT_FALSE(server.address().isEmpty()) << server.output().toStdString();
        // Read when an element connects, so the program's own elements find this server.
        qputenv("PULSE_SERVER", server.address().toUtf8());
        ringer = std::make_unique<call::GstMediaDevice>();
        terminal = std::make_unique<voice::GstMediaTerm>();
    }
    void TearDown() override { qunsetenv("PULSE_SERVER"); }

    // Starts a ring tone and a call whose voice comes back to this terminal.
    void Play() {
        const call::MediaDevice::OpenResult opened = ringer->open(kRingTone);
        ASSERT_EQ(opened.result, 0) << ringer->errorText(opened.result).toStdString();
        ring = opened.device;
        ASSERT_EQ(ringer->play(ring), 0);
        const int port = FreePort();
        terminal->InitTerminal();
        terminal->SetupSender(4, 20, 0, 1, 1, 0);
        terminal->SetSendTarget(u"127.0.0.1", port);
        terminal->SetupReceiver(4, 20, 0, 0);
        terminal->SetReceivePort(port);
        terminal->StartReceiving(0);
        terminal->StartSending(0);
    }
    void Stop() {
        ringer->close(ring);
        terminal->ExitTerminal();
    }

    // The entry of `list` with `role` and `name` (any name when null), waiting for it to show.
    std::optional<Listed> Find(const char* list, const char* role, const char* name) {
        std::optional<Listed> found;
        (void)QTest::qWaitFor(
            [&] {
                for (const Listed& entry : Parse(server.Control({"list", list})))
                    if (entry.properties.value("media.role") == QLatin1String(role) &&
                        (!name || entry.properties.value("media.name") == QLatin1String(name)))
                        found = entry;
                return found.has_value();
            },
            5000);
        return found;
    }

    PrivateSoundServer server;
    std::unique_ptr<call::GstMediaDevice> ringer;
    std::unique_ptr<voice::GstMediaTerm> terminal;
    call::MediaDevice::DeviceId ring = 0;
};

TEST_F(SoundStreams, EachStreamSaysWhatItIsAndKeepsAVolumeOfItsOwn) {
    ASSERT_NO_FATAL_FAILURE(Play());
    struct Case {
        const char* list;
        const char* role;
        const char* name; // null: pulsesrc names every stream "Record Stream"
    };
    const Case cases[] = {
        {"sink-inputs", "event", "Ring tone"},
        {"sink-inputs", "phone", "Voice"},
        {"source-outputs", "phone", nullptr},
    };
    QString ringIndex;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.list) + " " + c.role);
        const std::optional<Listed> entry = Find(c.list, c.role, c.name);
        ASSERT_TRUE(entry) << server.Control({"list", c.list}).toStdString();
        EXPECT_EQ(entry->properties.value("application.name"), "Vocalyn");
        EXPECT_EQ(entry->properties.value("application.icon_name"), "vocalyn");
        if (c.role == std::string("event"))
            ringIndex = entry->index;
    }
    for (const char* list : {"sink-inputs", "source-outputs"})
        std::printf("%s\n", qPrintable(server.Control({"list", list})));

    // The user turns the ring tone down; the next call's voice is not.
    server.Control({"set-sink-input-volume", ringIndex, "20%"});
    Stop();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return Parse(server.Control({"list", "sink-inputs"})).isEmpty();
        },
        5000));
    ASSERT_NO_FATAL_FAILURE(Play());
    const std::optional<Listed> ringTone = Find("sink-inputs", "event", "Ring tone");
    const std::optional<Listed> voice = Find("sink-inputs", "phone", "Voice");
    ASSERT_TRUE(ringTone && voice);
    EXPECT_EQ(ringTone->volume_percent, 20) << "the server did not remember the ring tone's volume";
    EXPECT_EQ(voice->volume_percent, 100);
    Stop();
}

} // namespace
