#include "voice/gst/GstMediaTerm.h"

#include "base/Log.h"
#include "base/gst/GstRuntime.h"
#include "voice/gst/BusWatch.h"
#include "voice/gst/HostResolver.h"
#include "voice/gst/InetAddress.h"
#include "voice/gst/SerialWorker.h"
#include "voice/gst/VoiceEngine.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <optional>

namespace vocalyn::voice {

namespace {

constexpr std::int32_t kOpus = 4;
constexpr std::int32_t kLiveDevice = 0;
constexpr std::int32_t kVolume = 0;
// How often the receiver follows the line: often enough to meet a change within a second.
constexpr int kTuneInterval_ms = 250;
// The longest jitter buffer wait the line may ask for; later packets are better concealed.
constexpr int kLongestWait_ms = 200;
// The loss figure stands for the line while the peer's packets still come.
constexpr std::int64_t kHeardWithin_us = 1'000'000;
// Loss at which the decoder starts and stops using FEC; apart, so that it does not flap.
constexpr double kFecOn = 0.01;
constexpr double kFecOff = 0.002;

std::atomic<int> probeCount{0};

bool IsOpusPacketTime(std::int32_t ms) {
    return ms == 10 || ms == 20 || ms == 40 || ms == 60;
}

QString Refused(const char* what, std::int32_t value) {
    return QStringLiteral("%1 %2 is not supported").arg(QLatin1String(what)).arg(value);
}

// A pair of pipelines built ahead of a call, in the NULL state: no device is open, no socket is
// bound. Built on the worker, taken on the main thread.
struct BuiltPipelines {
    std::unique_ptr<SendPipeline> send;
    std::unique_ptr<ReceivePipeline> receive;
    QString sendProblem;
    QString receiveProblem;
};

struct SpareSlot {
    std::mutex mutex;
    std::optional<BuiltPipelines> built;
    bool building = false;
};

BuiltPipelines Build(const GstMediaTermOptions& options, std::shared_ptr<PeerAddress> peer) {
    const PipelineRecipe recipe{options.microphone, options.speaker, options.voiceProcessing,
                                QStringLiteral("vocalyn-echo-probe-%1").arg(++probeCount)};
    BuiltPipelines built;
    // The echo canceller finds its probe by name when it starts, so the probe comes first.
    built.receive = BuildReceivePipeline(recipe, std::move(peer), built.receiveProblem);
    built.send = BuildSendPipeline(recipe, built.sendProblem);
    return built;
}

bool Within(GstMessage* message, GstElement* element) {
    GstObject* source = GST_MESSAGE_SRC(message);
    return element && source &&
           (source == GST_OBJECT(element) ||
            gst_object_has_as_ancestor(source, GST_OBJECT(element)));
}

} // namespace

struct GstMediaTerm::State {
    State(GstMediaTerm& owner, GstMediaTermOptions options)
        : owner(owner), options(std::move(options)) {}

    void SetProblem(StatusTopic topic, const QString& text);
    void TuneReceiver();
    void BuildSpare();
    BuiltPipelines TakeSpare();
    void OnResolved(const HostResolver::Result& result);
    void OnBusMessage(bool sendingSide, GstMessage* message);
    static gboolean OnSendBus(GstBus* bus, GstMessage* message, gpointer state) noexcept;
    static gboolean OnReceiveBus(GstBus* bus, GstMessage* message, gpointer state) noexcept;

    GstMediaTerm& owner;
    const GstMediaTermOptions options;
    SerialWorker worker; // outlives the state below, so the shutdown queued at the end still runs
    std::shared_ptr<PeerAddress> peer = std::make_shared<PeerAddress>(0);
    std::shared_ptr<VoiceEngine> engine; // null while not initialised
    std::unique_ptr<BusWatch> sendWatch;
    std::unique_ptr<BusWatch> receiveWatch;
    HostResolver resolver;
    std::shared_ptr<SpareSlot> spare = std::make_shared<SpareSlot>();

    SenderSettings sender;
    ReceiverSettings receiver;
    QString targetHost;
    int targetPort = 0;
    int receivePort = 0;
    bool resolving = false;
    bool sending = false;
    bool receiving = false;
    bool closing = false; // no more pipelines ahead

    QTimer lineTimer; // reads the line's figures while the terminal is initialised
    double loss = 0;
    bool heard = false; // the peer's packets came lately
    int wait_ms = 0;
    bool fec = false;
    guint64 lateSeen = 0;    // the jitter buffer's count of late packets at the last look
    QElapsedTimer sinceLate; // since the last late packet, or the start of receiving

    std::array<QString, 4> problems; // by StatusTopic
    std::array<QString, 2> lasting; // sending, receiving: what no restart mends (a bad description)
    QString status;
};

GstMediaTerm::GstMediaTerm(GstMediaTermOptions options) {
    InitGStreamer();
    d_ = std::make_unique<State>(*this, std::move(options));
    d_->lineTimer.setInterval(kTuneInterval_ms);
    connect(&d_->lineTimer, &QTimer::timeout, this, [this] { d_->TuneReceiver(); });
    d_->BuildSpare();
}

std::optional<double> GstMediaTerm::receivedLoss() const {
    if (d_->engine && d_->receiving && d_->heard)
        return d_->loss;
    return std::nullopt;
}

GstMediaTerm::~GstMediaTerm() {
    d_->closing = true;
    ExitTerminal();
}

QString GstMediaTerm::statusText() const {
    return d_->status;
}

void GstMediaTerm::InitTerminal() {
    State& d = *d_;
    if (d.engine)
        return;
    d.problems = {};
    d.sender = {};
    d.receiver = {};
    d.receiver.jitterBuffer_ms = d.options.jitterBuffer_ms;
    d.targetHost.clear();
    d.targetPort = 0;
    d.receivePort = 0;
    d.resolving = false;
    d.peer->store(0);

    BuiltPipelines built = d.TakeSpare();
    QString sendProblem = std::move(built.sendProblem);
    QString receiveProblem = std::move(built.receiveProblem);
    std::unique_ptr<ReceivePipeline> receive = std::move(built.receive);
    std::unique_ptr<SendPipeline> send = std::move(built.send);
    d.engine = std::make_shared<VoiceEngine>(std::move(send), std::move(receive));
    if (d.engine->send())
        d.sendWatch =
            std::make_unique<BusWatch>(d.engine->send()->pipeline.get(), &State::OnSendBus, &d);
    if (d.engine->receive())
        d.receiveWatch = std::make_unique<BusWatch>(d.engine->receive()->pipeline.get(),
                                                    &State::OnReceiveBus, &d);
    d.lasting = {sendProblem, receiveProblem};
    d.problems[int(StatusTopic::Sending)] = sendProblem;
    d.SetProblem(StatusTopic::Receiving, receiveProblem);
}

void GstMediaTerm::ExitTerminal() {
    State& d = *d_;
    if (!d.engine)
        return;
    d.resolver.Cancel();
    d.resolving = false;
    d.sendWatch.reset();
    d.receiveWatch.reset();
    d.lineTimer.stop();
    d.peer->store(0);
    d.sending = d.receiving = false;
    // The pipelines stop and are freed on the worker, after whatever it still has to do.
    d.worker.Post([engine = std::move(d.engine)] { engine->Shutdown(); });
    d.engine.reset();
    d.BuildSpare();
}

void GstMediaTerm::SetupReceiver(std::int32_t codec, std::int32_t packetTime_ms,
                                 std::int32_t jitterBuffer_ms, std::int32_t) {
    State& d = *d_;
    if (!d.engine)
        return;
    QString refused;
    if (codec != kOpus)
        refused = Refused("Codec", codec);
    else if (!IsOpusPacketTime(packetTime_ms))
        refused = Refused("Packet time", packetTime_ms);
    else if (jitterBuffer_ms < 0 || jitterBuffer_ms > 1000)
        refused = Refused("Jitter buffer", jitterBuffer_ms);
    if (!refused.isEmpty()) {
        d.SetProblem(StatusTopic::Receiving, QStringLiteral("Receiving: %1").arg(refused));
        return;
    }
    d.receiver.packetTime_ms = packetTime_ms;
    d.receiver.jitterBuffer_ms = jitterBuffer_ms ? jitterBuffer_ms : d.options.jitterBuffer_ms;
}

void GstMediaTerm::SetupSender(std::int32_t codec, std::int32_t packetTime_ms,
                               std::int32_t bitrate_kbps, std::int32_t channels, std::int32_t fec,
                               std::int32_t dtx) {
    State& d = *d_;
    if (!d.engine)
        return;
    QString refused;
    if (codec != kOpus)
        refused = Refused("Codec", codec);
    else if (!IsOpusPacketTime(packetTime_ms))
        refused = Refused("Packet time", packetTime_ms);
    else if (bitrate_kbps != 0 && (bitrate_kbps < 6 || bitrate_kbps > 510))
        refused = Refused("Bit rate", bitrate_kbps);
    else if (channels != 1 && channels != 2)
        refused = Refused("Channel count", channels);
    else if (fec != 0 && fec != 1)
        refused = Refused("FEC", fec);
    else if (dtx != 0 && dtx != 1)
        refused = Refused("DTX", dtx);
    if (!refused.isEmpty()) {
        d.SetProblem(StatusTopic::Sending, QStringLiteral("Sending: %1").arg(refused));
        return;
    }
    d.sender.packetTime_ms = packetTime_ms;
    d.sender.bitrate_kbps = bitrate_kbps ? bitrate_kbps : SenderSettings{}.bitrate_kbps;
    d.sender.channels = channels;
    d.sender.fec = fec == 1;
    d.sender.dtx = dtx == 1;
}

void GstMediaTerm::SetSendTarget(const std::u16string& host, std::int32_t port) {
    State& d = *d_;
    if (!d.engine)
        return;
    const QString name = QString::fromStdU16String(host);
    const int destination = d.options.remotePort ? d.options.remotePort : port;
    if (destination < 1 || destination > 65535) {
        d.SetProblem(StatusTopic::Host, QStringLiteral("Voice port %1 is not valid").arg(port));
        return;
    }
    // Set again with the same peer (as when unmuting): keep the address or the lookup under way.
    if (name == d.targetHost && destination == d.targetPort && (d.peer->load() != 0 || d.resolving))
        return;
    d.targetHost = name;
    d.targetPort = destination;
    d.peer->store(0);
    if (d.engine->send())
        g_signal_emit_by_name(d.engine->send()->network.get(), "clear");
    d.SetProblem(StatusTopic::Host, QString());
    d.resolving = true;
    d.resolver.Resolve(name, [&d](const HostResolver::Result& result) { d.OnResolved(result); });
}

void GstMediaTerm::SetReceivePort(std::int32_t port) {
    State& d = *d_;
    if (!d.engine)
        return;
    const int local = d.options.localPort ? d.options.localPort : port;
    if (local < 0 || local > 65535) {
        d.SetProblem(StatusTopic::Port, QStringLiteral("Voice port %1 is not valid").arg(port));
        return;
    }
    d.receivePort = local;
}

void GstMediaTerm::StartSending(std::int32_t source) {
    State& d = *d_;
    if (!d.engine || d.sending)
        return;
    if (source != kLiveDevice) {
        d.SetProblem(StatusTopic::Sending,
                     QStringLiteral("Sending: %1").arg(Refused("Source", source)));
        return;
    }
    d.sending = true;
    d.SetProblem(StatusTopic::Sending, d.lasting[0]); // a new attempt: earlier failures are history
    if (!d.engine->send())
        return;
    SenderSettings settings = d.sender;
    settings.lossy = d.fec;
    d.worker.Post([engine = d.engine, settings, port = d.receivePort] {
        engine->StartSending(settings, port);
    });
}

void GstMediaTerm::StopSending() {
    State& d = *d_;
    if (!d.engine || !d.sending)
        return;
    d.sending = false;
    d.worker.Post([engine = d.engine] { engine->StopSending(); });
}

void GstMediaTerm::StartReceiving(std::int32_t output) {
    State& d = *d_;
    if (!d.engine || d.receiving)
        return;
    if (output != kLiveDevice) {
        d.SetProblem(StatusTopic::Receiving,
                     QStringLiteral("Receiving: %1").arg(Refused("Output", output)));
        return;
    }
    d.receiving = true;
    d.SetProblem(StatusTopic::Receiving, d.lasting[1]);
    if (!d.engine->receive())
        return;
    d.loss = 0;
    d.heard = false;
    d.wait_ms = d.receiver.jitterBuffer_ms;
    d.fec = false;
    d.lateSeen = 0;
    d.sinceLate.start();
    d.worker.Post([engine = d.engine, settings = d.receiver, port = d.receivePort] {
        engine->StartReceiving(settings, port);
        engine->TuneSending(false); // the line is judged anew
    });
    d.lineTimer.start();
}

void GstMediaTerm::StopReceiving() {
    State& d = *d_;
    if (!d.engine || !d.receiving)
        return;
    d.receiving = false;
    d.lineTimer.stop();
    d.worker.Post([engine = d.engine] { engine->StopReceiving(); });
}

void GstMediaTerm::ReceiverControl(std::int32_t control, std::int32_t value) {
    State& d = *d_;
    if (d.engine && d.engine->receive() && control == kVolume)
        g_object_set(d.engine->receive()->gain.get(), "volume", std::clamp(value, 0, 100) / 100.0,
                     nullptr);
}

void GstMediaTerm::SenderControl(std::int32_t control, std::int32_t value) {
    State& d = *d_;
    if (d.engine && d.engine->send() && control == kVolume)
        g_object_set(d.engine->send()->gain.get(), "volume", std::clamp(value, 0, 100) / 100.0,
                     nullptr);
}

GstElement* GstMediaTerm::MicrophoneElement() const {
    const State& d = *d_;
    return d.engine && d.engine->send() ? RefElement(d.engine->send()->microphone.get()).release()
                                        : nullptr;
}

bool GstMediaTerm::NextPipelinesReady() const {
    std::lock_guard lock(d_->spare->mutex);
    return d_->spare->built.has_value();
}

GstElement* GstMediaTerm::SpeakerElement() const {
    const State& d = *d_;
    return d.engine && d.engine->receive()
               ? RefElement(d.engine->receive()->speaker.get()).release()
               : nullptr;
}

void GstMediaTerm::State::OnResolved(const HostResolver::Result& result) {
    resolving = false;
    if (!engine)
        return;
    if (!result.address) {
        SetProblem(StatusTopic::Host,
                   QStringLiteral("The peer %1 cannot be found: %2").arg(targetHost, result.error));
        return;
    }
    peer->store(result.address);
    if (engine->send())
        g_signal_emit_by_name(engine->send()->network.get(), "add",
                              DottedIPv4(result.address).toUtf8().constData(), gint(targetPort));
}

gboolean GstMediaTerm::State::OnSendBus(GstBus*, GstMessage* message, gpointer state) noexcept {
    try {
        static_cast<State*>(state)->OnBusMessage(true, message);
    } catch (...) {
        // Called from GLib's main loop: nothing may escape into C.
        LogSwallowed(lcVoice(), "sending side's bus message");
    }
    return G_SOURCE_CONTINUE;
}

gboolean GstMediaTerm::State::OnReceiveBus(GstBus*, GstMessage* message, gpointer state) noexcept {
    try {
        static_cast<State*>(state)->OnBusMessage(false, message);
    } catch (...) {
        LogSwallowed(lcVoice(), "receiving side's bus message");
    }
    return G_SOURCE_CONTINUE;
}

void GstMediaTerm::State::OnBusMessage(bool sendingSide, GstMessage* message) {
    PostedStatus posted;
    if (ReadStatus(message, posted)) {
        if (!posted.fallback || problems[int(posted.topic)].isEmpty())
            SetProblem(posted.topic, posted.text);
        return;
    }
    const bool error = GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR;
    if (!error && GST_MESSAGE_TYPE(message) != GST_MESSAGE_WARNING)
        return;
    GstElement* device =
        sendingSide ? engine->send()->microphone.get() : engine->receive()->speaker.get();
    const bool fromDevice = Within(message, device);
    GError* raw = nullptr;
    gchar* rawDebug = nullptr;
    if (error)
        gst_message_parse_error(message, &raw, &rawDebug);
    else
        gst_message_parse_warning(message, &raw, &rawDebug);
    GErrorPtr reason(raw);
    GCharPtr debug(rawDebug);
    // A device that cannot be opened may only warn, falling back to a silent
    // stand-in; other warnings (a late clock, a dropped sample) are no news.
    if (!error && !(fromDevice && reason && reason->domain == GST_RESOURCE_ERROR))
        return;
    const char* what = fromDevice ? (sendingSide ? "Microphone unavailable" : "Speaker unavailable")
                                  : (sendingSide ? "Sending failed" : "Receiving failed");
    SetProblem(sendingSide ? StatusTopic::Sending : StatusTopic::Receiving,
               QStringLiteral("%1: %2").arg(QLatin1String(what),
                                            reason ? QString::fromUtf8(reason->message)
                                                   : QStringLiteral("failed")));
    if (error) // the call goes on without this direction's sound
        worker.Post([engine = engine, sendingSide] { engine->Halt(sendingSide); });
}

void GstMediaTerm::State::TuneReceiver() {
    if (!engine || !engine->receive() || !receiving)
        return;
    const ReceivePipeline& receive = *engine->receive();
    // Packets the jitter buffer found too late to play: it had already given them up.
    GstStructure* stats = nullptr;
    g_object_get(receive.jitter.get(), "stats", &stats, nullptr);
    guint64 late = lateSeen;
    if (stats) {
        gst_structure_get_uint64(stats, "num-late", &late);
        gst_structure_free(stats);
    }
    const bool lateNow = late > lateSeen;
    lateSeen = late;
    if (lateNow || !sinceLate.isValid())
        sinceLate.start();
    int nextWait_ms = 0;
    {
        const std::lock_guard lock(receive.line->mutex);
        loss = receive.line->quality.loss();
        const std::int64_t last = receive.line->quality.lastArrival_us();
        heard = last > 0 && g_get_monotonic_time() - last < kHeardWithin_us;
        nextWait_ms = receive.line->quality.NextWait_ms(
            wait_ms, receiver.jitterBuffer_ms, std::max(kLongestWait_ms, receiver.jitterBuffer_ms),
            lateNow, double(sinceLate.elapsed()) / 1000);
    }
    const bool useFec = fec ? loss > kFecOff : loss > kFecOn;
    if (nextWait_ms == wait_ms && useFec == fec)
        return;
    wait_ms = nextWait_ms;
    fec = useFec;
    // No word comes back from the peer, so the line it hears is judged by the one heard here.
    worker.Post([engine = engine, nextWait_ms, useFec] {
        engine->TuneReceiving(nextWait_ms, useFec);
        engine->TuneSending(useFec);
    });
}

void GstMediaTerm::State::BuildSpare() {
    if (closing)
        return;
    {
        std::lock_guard lock(spare->mutex);
        if (spare->built || spare->building)
            return;
        spare->building = true;
    }
    // Building takes milliseconds (parsing, creating and linking some twenty elements), which
    // would otherwise come between the answer and its first sound.
    worker.Post([slot = spare, options = options, peer = peer] {
        BuiltPipelines built = Build(options, peer);
        std::lock_guard lock(slot->mutex);
        slot->built = std::move(built);
        slot->building = false;
    });
}

BuiltPipelines GstMediaTerm::State::TakeSpare() {
    {
        std::lock_guard lock(spare->mutex);
        if (spare->built) {
            BuiltPipelines built = std::move(*spare->built);
            spare->built.reset();
            return built;
        }
    }
    // Not built yet (or still building): build here rather than wait for the worker.
    return Build(options, peer);
}

void GstMediaTerm::State::SetProblem(StatusTopic topic, const QString& text) {
    problems[int(topic)] = text;
    QStringList shown;
    for (const QString& problem : problems)
        if (!problem.isEmpty())
            shown << problem;
    const QString composed = shown.join(QStringLiteral("; "));
    if (composed == status)
        return;
    status = composed;
    Q_EMIT owner.statusChanged(status);
}

TCCNMediaTerm::Factory GstMediaTermFactory(GstMediaTermOptions options) {
    return [options]() -> std::shared_ptr<ICCNMediaTerm> {
        return std::make_shared<GstMediaTerm>(options);
    };
}

} // namespace vocalyn::voice
