#include "voice/gst/GstMediaTerm.h"
#include "tests/voice/GstTestSupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace vocalyn::voice {
namespace {

using namespace voicetest;

constexpr int kRate = 48000;
constexpr char kRtpCaps[] =
    "application/x-rtp,media=audio,encoding-name=OPUS,clock-rate=48000,payload=96";
// Synchronised to the clock, as a sound card is: it waits for the pipeline's latency.
constexpr char kEar[] = "appsink name=ear sync=true";

// A standard receiver on 127.0.0.1:port that decodes to mono 48 kHz samples.
QString StandardReceiver(int port) {
    return QStringLiteral("udpsrc name=net address=127.0.0.1 port=%1 caps=\"%2\" ! "
                          "rtpjitterbuffer latency=60 ! rtpopusdepay ! opusdec ! audioconvert ! "
                          "audioresample ! audio/x-raw,format=S16LE,rate=48000,channels=1 ! "
                          "appsink name=out sync=false")
        .arg(port)
        .arg(QLatin1String(kRtpCaps));
}

// A standard sender of a tone to 127.0.0.1:port, from the loopback address `from`.
QString StandardSender(int port, int frequency, const char* from) {
    return QStringLiteral("audiotestsrc freq=%1 volume=0.5 is-live=true ! audioconvert ! "
                          "audioresample ! opusenc frame-size=20 ! rtpopuspay pt=96 ! "
                          "udpsink host=127.0.0.1 port=%2 bind-address=%3")
        .arg(frequency)
        .arg(port)
        .arg(QLatin1String(from));
}

GstMediaTermOptions TestDevices(int toneFrequency = 1000) {
    GstMediaTermOptions options;
    // In 10 ms periods, as a sound card delivers them: packets leave evenly, 20 ms apart.
    options.microphone =
        QStringLiteral("audiotestsrc freq=%1 volume=0.5 is-live=true samplesperbuffer=480")
            .arg(toneFrequency);
    options.speaker = QLatin1String(kEar);
    return options;
}

// What the voice link does to start a call on an initialised terminal, with the test's ports.
void Begin(GstMediaTerm& terminal, const char16_t* peer, int remotePort, int localPort) {
    terminal.SetupSender(4, 20, 0, 1, 1, 0);
    terminal.SetSendTarget(peer, remotePort);
    terminal.SetupReceiver(4, 20, 0, 0);
    terminal.SetReceivePort(localPort);
    terminal.StartReceiving(0);
    terminal.StartSending(0);
    terminal.ReceiverControl(0, 80);
    terminal.SenderControl(0, 80);
}

void StartCall(GstMediaTerm& terminal, const char16_t* peer, int remotePort, int localPort) {
    terminal.InitTerminal();
    Begin(terminal, peer, remotePort, localPort);
}

// The samples after the first `skip_ms`, once `length_ms` of them are there.
std::vector<std::int16_t> Steady(const PcmCollector& collector, int skip_ms, int length_ms) {
    const std::size_t skip = std::size_t(kRate) * skip_ms / 1000;
    const std::size_t length = std::size_t(kRate) * length_ms / 1000;
    if (!QTest::qWaitFor([&] { return collector.count() >= skip + length; }, 5000))
        return {};
    const std::vector<std::int16_t> all = collector.samples();
    return {all.begin() + skip, all.begin() + skip + length};
}

// True when `count` stays where it is for a while (nothing arrives any more).
template <typename Count> bool Stays(Count count, int window_ms = 400) {
    const auto before = count();
    return !QTest::qWaitFor([&] { return count() != before; }, window_ms);
}

bool PortIsFree(int port) {
    return BindUdp(port) != nullptr;
}

// Counts how many of the watched objects have been freed.
class FreedCounter {
public:
    void Watch(GstElement* element) { // takes the reference
        g_object_weak_ref(
            G_OBJECT(element),
            [](gpointer self, GObject*) { ++static_cast<FreedCounter*>(self)->freed; }, this);
        gst_object_unref(element);
    }
    int freed = 0;
};

// What the terminal's playback pipeline reports as its latency.
double PlaybackLatency_ms(const GstMediaTerm& terminal) {
    GstElement* speaker = terminal.SpeakerElement();
    GstObject* pipeline = gst_object_get_parent(GST_OBJECT(speaker));
    GstQuery* query = gst_query_new_latency();
    GstClockTime latency = GST_CLOCK_TIME_NONE;
    if (gst_element_query(GST_ELEMENT(pipeline), query))
        gst_query_parse_latency(query, nullptr, &latency, nullptr);
    gst_query_unref(query);
    gst_object_unref(pipeline);
    gst_object_unref(speaker);
    return latency == GST_CLOCK_TIME_NONE ? -1 : double(latency) / GST_MSECOND;
}

// The appsink the terminal plays into.
GstElement* Ear(const GstMediaTerm& terminal) {
    GstElement* speaker = terminal.SpeakerElement();
    if (!speaker)
        return nullptr;
    GstElement* ear = gst_bin_get_by_name(GST_BIN(speaker), "ear");
    gst_object_unref(speaker);
    gst_object_unref(ear); // the terminal's pipeline keeps it alive
    return ear;
}

TEST(GstMediaTerm, SendsOpusRtpThatAStandardReceiverDecodesFromItsReceivePort) {
    const int local = FreeUdpPort();
    const int remote = FreeUdpPort();
    TestPipeline receiver(StandardReceiver(remote));
    RtpTap tap(receiver.element("net"));
    PcmCollector heard(receiver.element("out"));

    GstMediaTerm terminal(TestDevices(1000));
    StartCall(terminal, u"localhost", remote, local); // a name: the terminal resolves it

    const std::vector<std::int16_t> tone = Steady(heard, 300, 700);
    ASSERT_FALSE(tone.empty()) << "nothing decoded; status: "
                               << terminal.statusText().toStdString();
    EXPECT_NEAR(ToneFrequency(tone, kRate), 1000.0, 20.0);
    EXPECT_GT(Rms(tone), 1000.0);

    const std::vector<RtpTap::Packet> packets = tap.packets();
    ASSERT_GE(packets.size(), 20u);
    int twentyMsSteps = 0;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        EXPECT_EQ(packets[i].version, 2);
        EXPECT_EQ(packets[i].payloadType, 96);
        EXPECT_EQ(packets[i].senderAddress, "127.0.0.1");
        EXPECT_EQ(packets[i].senderPort, local) << "not sent from the receive port";
        if (i > 0 && packets[i].timestamp - packets[i - 1].timestamp == 960)
            ++twentyMsSteps;
    }
    EXPECT_GE(twentyMsSteps, int(packets.size()) * 9 / 10); // 20 ms of 48 kHz per packet
    EXPECT_EQ(terminal.statusText(), "");
}

TEST(GstMediaTerm, PlaysAStandardStreamFromThePeerAndNothingFromElsewhere) {
    const int local = FreeUdpPort();
    GstMediaTerm terminal(TestDevices());
    StartCall(terminal, u"127.0.0.1", FreeUdpPort(), local);
    ASSERT_NE(Ear(terminal), nullptr);
    PcmCollector heard(Ear(terminal));

    TestPipeline stranger(StandardSender(local, 600, "127.0.0.2"));
    EXPECT_FALSE(QTest::qWaitFor([&] { return heard.count() > 0; }, 600))
        << "played a stream from 127.0.0.2";

    TestPipeline peer(StandardSender(local, 1000, "127.0.0.1"));
    const std::vector<std::int16_t> tone = Steady(heard, 300, 700);
    ASSERT_FALSE(tone.empty()) << "status: " << terminal.statusText().toStdString();
    // The stranger still sends: any of its packets mixed in would spoil the tone.
    EXPECT_NEAR(ToneFrequency(tone, kRate), 1000.0, 20.0);
    // ReceiverControl(0, 80): 80 % of the sent level (a sine at half scale).
    const double sentRms = 0.5 * 32767 / std::sqrt(2.0);
    EXPECT_NEAR(Rms(tone), 0.8 * sentRms, 0.1 * sentRms);
    // The jitter buffer's 5 ms and the sink's 2 ms deadline: nothing is held back for FEC.
    EXPECT_NEAR(PlaybackLatency_ms(terminal), 7, 0.5);
}

TEST(GstMediaTerm, ShortensTheDeadlineOfASinkThatAnAutomaticSpeakerMakesLater) {
    const int local = FreeUdpPort();
    GstMediaTermOptions options = TestDevices();
    options.speaker = QStringLiteral("autoaudiosink"); // its sink exists only once it starts
    GstMediaTerm terminal(options);
    StartCall(terminal, u"127.0.0.1", FreeUdpPort(), local);
    TestPipeline peer(StandardSender(local, 1000, "127.0.0.1"));
    // A sound card's sink adds its own period (10 ms for PulseAudio); the default deadline
    // alone would be 20 ms.
    double latency_ms = -1;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            latency_ms = PlaybackLatency_ms(terminal);
            return latency_ms > 0 && latency_ms < 20;
        },
        3000))
        << latency_ms;
}

// A field of the receiving jitter buffer's statistics.
guint64 JitterStat(const GstMediaTerm& terminal, const char* field) {
    GstElement* speaker = terminal.SpeakerElement();
    GstObject* pipeline = gst_object_get_parent(GST_OBJECT(speaker));
    GstElement* jitter = gst_bin_get_by_name(GST_BIN(pipeline), "jitter");
    GstStructure* stats = nullptr;
    g_object_get(jitter, "stats", &stats, nullptr);
    guint64 value = 0;
    gst_structure_get_uint64(stats, field, &value);
    gst_structure_free(stats);
    gst_object_unref(jitter);
    gst_object_unref(pipeline);
    gst_object_unref(speaker);
    return value;
}

// Whether the decoder rebuilds lost packets from in-band FEC, or the encoder carries it.
gboolean UsesFec(const GstMediaTerm& terminal, bool decoder) {
    GstElement* device = decoder ? terminal.SpeakerElement() : terminal.MicrophoneElement();
    GstObject* pipeline = gst_object_get_parent(GST_OBJECT(device));
    GstElement* coder = gst_bin_get_by_name(GST_BIN(pipeline), decoder ? "decoder" : "encoder");
    gboolean fec = FALSE;
    g_object_get(coder, decoder ? "use-inband-fec" : "inband-fec", &fec, nullptr);
    gst_object_unref(coder);
    gst_object_unref(pipeline);
    gst_object_unref(device);
    return fec;
}

// The peer's packets through a line that makes them wander 20 to 60 ms and overtake each other,
// or that loses one in twenty: the receiver measures the loss, waits as long as the wandering
// needs, so that hardly a packet comes too late to be played, and rebuilds lost packets from
// the in-band FEC only while packets are lost (the decoder then holds each packet back by one
// packet time, 20 ms). Its own voice then carries FEC too, as the line loses its packets as well.
TEST(GstMediaTerm, TheReceiverFollowsTheJitterAndLossOfTheLine) {
    struct Case {
        const char* line;
        int minDelay_ms, maxDelay_ms, dropEvery;
        double leastWait_ms, mostWait_ms, loss;
        gboolean fec;
    };
    for (const Case& c : {Case{"20 to 60 ms jitter", 20, 60, 0, 40, 75, 0, FALSE},
                          Case{"5 % loss", 0, 0, 20, 26.5, 32.5, 0.05, TRUE}}) {
        SCOPED_TRACE(c.line);
        const int receivePort = FreeUdpPort();
        UdpRelay relay(receivePort, c.minDelay_ms, c.maxDelay_ms, c.dropEvery);
        GstMediaTerm sender(TestDevices());
        StartCall(sender, u"127.0.0.1", relay.port(), FreeUdpPort());
        GstMediaTerm receiver(TestDevices());
        StartCall(receiver, u"127.0.0.1", FreeUdpPort(), receivePort);
        ASSERT_TRUE(QTest::qWaitFor([&] { return JitterStat(receiver, "num-pushed") > 0; }, 3000));
        QTest::qWait(3000); // a second to measure, and the jitter buffer's first late packets
        const guint64 pushed = JitterStat(receiver, "num-pushed");
        const guint64 lost = JitterStat(receiver, "num-lost");
        QTest::qWait(5000);
        const double played = double(JitterStat(receiver, "num-pushed") - pushed);
        const double missing = double(JitterStat(receiver, "num-lost") - lost);
        // Lost on the line, or too late: either way the listener hears no sound of the peer's.
        EXPECT_LT(missing / (played + missing), c.loss * 1.1 + 0.005);
        EXPECT_GE(PlaybackLatency_ms(receiver), c.leastWait_ms);
        EXPECT_LE(PlaybackLatency_ms(receiver), c.mostWait_ms);
        EXPECT_NEAR(receiver.receivedLoss().value_or(-1), c.loss, 0.005 + c.loss * 0.3);
        EXPECT_EQ(UsesFec(receiver, true), c.fec);
        EXPECT_TRUE(QTest::qWaitFor([&] { return UsesFec(receiver, false) == c.fec; }, 1000));
        EXPECT_FALSE(UsesFec(sender, false)) << "it hears nothing of a loss";
        std::printf("%s: %.2f %% of the peer's packets not played, playback latency %.0f ms\n",
                    c.line, 100 * missing / (played + missing), PlaybackLatency_ms(receiver));
        // A silent peer tells nothing about the line.
        sender.StopSending();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !receiver.receivedLoss(); }, 3000));
    }
}

GstState StateOf(GstElement* element) {
    GstState state = GST_STATE_VOID_PENDING;
    gst_element_get_state(element, &state, nullptr, 0);
    return state;
}

// The pipelines of the next call are built before it, so that building them does not delay the
// first sound; being built, they open no microphone or speaker before the call starts them.
TEST(GstMediaTerm, BuildsTheNextCallsPipelinesAheadAndOpensNothingUntilStarted) {
    const int local = FreeUdpPort();
    const int remote = FreeUdpPort();
    GstMediaTerm terminal(TestDevices());
    ASSERT_TRUE(QTest::qWaitFor([&] { return terminal.NextPipelinesReady(); }, 3000));
    terminal.InitTerminal();
    EXPECT_FALSE(terminal.NextPipelinesReady()) << "the call took them";
    GstElement* microphone = terminal.MicrophoneElement();
    GstElement* speaker = terminal.SpeakerElement();
    ASSERT_TRUE(microphone && speaker);
    EXPECT_EQ(StateOf(microphone), GST_STATE_NULL);
    EXPECT_EQ(StateOf(speaker), GST_STATE_NULL);
    Begin(terminal, u"127.0.0.1", remote, local);
    EXPECT_TRUE(QTest::qWaitFor([&] { return StateOf(microphone) == GST_STATE_PLAYING; }, 3000));
    EXPECT_FALSE(terminal.NextPipelinesReady()) << "nothing is built during a call";

    terminal.ExitTerminal();
    ASSERT_TRUE(QTest::qWaitFor([&] { return terminal.NextPipelinesReady(); }, 3000));
    EXPECT_EQ(StateOf(microphone), GST_STATE_NULL) << "the ended call's microphone is closed";
    terminal.InitTerminal();
    GstElement* next = terminal.MicrophoneElement();
    ASSERT_TRUE(next);
    EXPECT_NE(next, microphone) << "each call has pipelines of its own";
    EXPECT_EQ(StateOf(next), GST_STATE_NULL);
    Begin(terminal, u"127.0.0.1", remote, local);
    EXPECT_TRUE(QTest::qWaitFor([&] { return StateOf(next) == GST_STATE_PLAYING; }, 3000));
    gst_object_unref(next);
    gst_object_unref(speaker);
    gst_object_unref(microphone);
}

TEST(GstMediaTerm, OperationsRepeatAndRestartWithoutBlockingOrLeakingThePort) {
    const int local = FreeUdpPort();
    const int remote = FreeUdpPort();
    TestPipeline receiver(StandardReceiver(remote));
    RtpTap tap(receiver.element("net"));
    auto sent = [&] { return tap.count(); };

    GstMediaTerm terminal(TestDevices());
    QElapsedTimer slowest;
    qint64 slowest_ms = 0;
    auto timed = [&](auto operation) {
        slowest.start();
        operation();
        slowest_ms = std::max(slowest_ms, slowest.elapsed());
    };

    // Building the pipelines takes a few milliseconds; what is timed is that
    // nothing waits for a device or a state change.
    terminal.InitTerminal();
    terminal.InitTerminal();
    timed([&] { Begin(terminal, u"127.0.0.1", remote, local); });
    timed([&] { Begin(terminal, u"127.0.0.1", remote, local); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return sent() > 5; }, 3000));

    // Mute and unmute, each twice in a row.
    timed([&] {
        terminal.StopSending();
        terminal.StopSending();
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return Stays(sent); }, 3000));
    const std::size_t muted = sent();
    timed([&] {
        terminal.StartSending(0);
        terminal.StartSending(0);
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return sent() > muted + 5; }, 3000));

    // End of the call, as the voice link ends it. Nothing of the call may stay behind.
    FreedCounter devices;
    devices.Watch(terminal.MicrophoneElement());
    devices.Watch(terminal.SpeakerElement());
    timed([&] {
        terminal.StopReceiving();
        terminal.StopSending();
        terminal.StopReceiving();
        terminal.StopSending();
        terminal.ExitTerminal();
        terminal.ExitTerminal();
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return PortIsFree(local) && devices.freed == 2; }, 3000))
        << "port or pipelines kept; devices freed: " << devices.freed;
    EXPECT_TRUE(Stays(sent));
    terminal.StartSending(0); // ignored while shut down
    EXPECT_TRUE(Stays(sent));

    // The next call on the same terminal.
    const std::size_t before = sent();
    terminal.InitTerminal();
    timed([&] { Begin(terminal, u"127.0.0.1", remote, local); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return sent() > before + 5; }, 3000));
    EXPECT_EQ(tap.packets().back().senderPort, local);
    EXPECT_LT(slowest_ms, 100) << "an operation blocked the main thread";
    EXPECT_EQ(terminal.statusText(), "");
}

TEST(GstMediaTerm, WithoutAMicrophoneTheCallGoesOnAndSaysWhy) {
    const int local = FreeUdpPort();
    for (const char* microphone : {"no-such-audio-element", "pulsesrc server=127.0.0.1:1"}) {
        SCOPED_TRACE(microphone);
        GstMediaTermOptions options = TestDevices();
        options.microphone = QLatin1String(microphone);
        GstMediaTerm terminal(options);
        QSignalSpy status(&terminal, &ICCNMediaTerm::statusChanged);
        StartCall(terminal, u"127.0.0.1", FreeUdpPort(), local);

        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return terminal.statusText().startsWith("Microphone unavailable: "); }, 3000))
            << terminal.statusText().toStdString();
        EXPECT_GE(status.count(), 1);

        ASSERT_NE(Ear(terminal), nullptr);
        PcmCollector heard(Ear(terminal));
        TestPipeline peer(StandardSender(local, 1000, "127.0.0.1"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return heard.count() > kRate / 4; }, 3000))
            << "the peer is not heard";
    }
}

TEST(GstMediaTerm, WithoutASpeakerOrPortTheCallGoesOnAndSaysWhy) {
    const int remote = FreeUdpPort();
    TestPipeline receiver(StandardReceiver(remote));
    RtpTap tap(receiver.element("net"));

    GstMediaTermOptions options = TestDevices();
    options.speaker = QStringLiteral("pulsesink server=127.0.0.1:1");
    GstMediaTerm terminal(options);
    StartCall(terminal, u"127.0.0.1", remote, FreeUdpPort());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return terminal.statusText().startsWith("Speaker unavailable: "); }, 3000))
        << terminal.statusText().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return tap.count() > 5; }, 3000)) << "nothing sent";
    terminal.ExitTerminal();

    // Another program holds the port.
    const int taken = FreeUdpPort();
    const UdpSocket holder = BindUdp(taken);
    ASSERT_NE(holder, nullptr);
    StartCall(terminal, u"127.0.0.1", remote, taken);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return terminal.statusText().contains(QString("Voice port %1").arg(taken)); }, 3000))
        << terminal.statusText().toStdString();
}

} // namespace
} // namespace vocalyn::voice
