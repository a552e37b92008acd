#include "call/gst/GstMediaDevice.h"

#include "base/Error.h"
#include "base/Log.h"
#include "base/gst/GstHandles.h"
#include "base/gst/GstRuntime.h"
#include "base/gst/SoundStreams.h"

#include <QFile>
#include <QtDebug>

#include <algorithm>
#include <exception>
#include <vector>

namespace vocalyn::call {

namespace {

constexpr GstClockTime kOpenTimeout = 3 * GST_SECOND;
constexpr GstClockTime kSettleTimeout = 2 * GST_SECOND; // stopping, seeking
constexpr int kPollInterval_ms = 50;

MediaDevice::Result CodeOf(const GError& error) {
    int domain = 9;
    if (error.domain == GST_CORE_ERROR)
        domain = 1;
    else if (error.domain == GST_LIBRARY_ERROR)
        domain = 2;
    else if (error.domain == GST_RESOURCE_ERROR)
        domain = 3;
    else if (error.domain == GST_STREAM_ERROR)
        domain = 4;
    return domain * 1000 + error.code;
}

qint64 Milliseconds(gint64 nanoseconds) {
    return nanoseconds / gint64(GST_MSECOND);
}

// The sink bin of a launch description; the error is set when it makes none.
GstElementPtr MakeSink(const QString& description, GErrorPtr& error) {
    GError* raw = nullptr;
    auto sink =
        AdoptElement(gst_parse_bin_from_description(description.toUtf8().constData(), TRUE, &raw));
    error.reset(raw);
    if (error)
        sink.reset(); // a partly made bin is of no use
    return sink;
}

} // namespace

struct GstMediaDevice::Stream {
    GstElementPtr playbin;
    GstBusPtr bus;
    bool playing = false;    // between play and stop or the end
    bool atEnd = false;      // played to the end (or failed) since the last seek
    bool endPending = false; // the end is still to be reported

    Stream() = default;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    ~Stream() {
        if (playbin)
            gst_element_set_state(playbin.get(), GST_STATE_NULL);
    }
};

GstMediaDevice::GstMediaDevice(QString audioSink) : audioSink_(std::move(audioSink)) {
    texts_.insert(InvalidDevice, QStringLiteral("The specified device is not open."));
    texts_.insert(NoFreeDevice, QStringLiteral("Too many sound files are open."));
    texts_.insert(MissingElement, QStringLiteral("GStreamer's playbin element is not installed."));
    texts_.insert(OpenTimedOut, QStringLiteral("The sound file did not become ready in time."));
    texts_.insert(SeekRefused, QStringLiteral("The sound file cannot be rewound."));
    texts_.insert(NoSound, QStringLiteral("The file contains no sound."));

    poll_.setInterval(kPollInterval_ms);
    QObject::connect(&poll_, &QTimer::timeout, [this] { Poll(); });

    unavailable_ = Probe();
    if (!unavailable_.isEmpty())
        texts_.insert(Unavailable, unavailable_);
}

QString GstMediaDevice::Probe() const {
    // Shown on the main window's status line, so short, with GStreamer's own words last.
    const QString text = QStringLiteral("No ring tone: %1 (%2)");
    try {
        InitGStreamer();
    } catch (const vocalyn::Error& e) {
        return text.arg(QStringLiteral("GStreamer did not start"), e.message());
    }
    GErrorPtr error;
    if (!MakeSink(audioSink_, error))
        return text.arg(QStringLiteral("no audio output"),
                        error ? QString::fromUtf8(error->message) : audioSink_);
    const GstObjectPtr<GstElementFactory> playbin(gst_element_factory_find("playbin"));
    if (!playbin)
        return text.arg(QStringLiteral("no player"), QStringLiteral("no element \"playbin\""));
    return {};
}

GstMediaDevice::~GstMediaDevice() = default;

MediaDevice::OpenResult GstMediaDevice::Open(const QString& path) {
    // Nothing of GStreamer may be touched when it did not start.
    if (!unavailable_.isEmpty())
        return {Unavailable, 0};
    const DeviceId id = FreeId();
    if (id == 0)
        return {NoFreeDevice, 0};

    auto stream = std::make_unique<Stream>();
    stream->playbin = AdoptElement(gst_element_factory_make("playbin", nullptr));
    if (!stream->playbin)
        return {MissingElement, 0};

    GErrorPtr error;
    const auto sink = MakeSink(audioSink_, error);
    if (!sink)
        return {error ? Failure(CodeOf(*error), QString::fromUtf8(error->message)) : MissingElement,
                0};
    // Its own stream, apart from the call's voice, with a volume the sound server keeps for it.
    LabelSoundStreams(sink.get(), SoundStream::RingTone);

    GError* rawError = nullptr;
    const GCharPtr uri(gst_filename_to_uri(QFile::encodeName(path).constData(), &rawError));
    error.reset(rawError);
    if (!uri)
        return {Failure(error ? CodeOf(*error) : StateChangeRefused,
                        error ? QString::fromUtf8(error->message) : QString()),
                0};

    GstElement* playbin = stream->playbin.get();
    // Cover pictures in mp3 and wma files, and pictures chosen by mistake, must not open a
    // video window, nor make playbin look for a video output of its own.
    const auto noVideo = AdoptElement(gst_element_factory_make("fakesink", nullptr));
    g_object_set(playbin, "uri", uri.get(), "audio-sink", sink.get(), "video-sink", noVideo.get(),
                 nullptr);
    gst_util_set_object_arg(G_OBJECT(playbin), "flags", "audio+soft-volume");
    stream->bus.reset(gst_element_get_bus(playbin));

    switch (gst_element_set_state(playbin, GST_STATE_PAUSED)) {
    case GST_STATE_CHANGE_FAILURE:
        return {FailureFromBus(*stream, StateChangeRefused), 0};
    case GST_STATE_CHANGE_ASYNC: {
        const GstMessagePtr done(
            gst_bus_timed_pop_filtered(stream->bus.get(), kOpenTimeout,
                                       GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE)));
        if (!done)
            return {OpenTimedOut, 0};
        if (GST_MESSAGE_TYPE(done.get()) == GST_MESSAGE_ERROR)
            return {FailureFromMessage(done.get()), 0};
        break;
    }
    default:
        break;
    }
    // A picture or a silent video prerolls without complaint, but there is nothing to hear.
    gint audioStreams = 0;
    g_object_get(playbin, "n-audio", &audioStreams, nullptr);
    if (audioStreams == 0)
        return {NoSound, 0};

    streams_.emplace(id, std::move(stream));
    return {0, id};
}

MediaDevice::Status GstMediaDevice::StatusOf(DeviceId device) {
    Stream* stream = Find(device);
    if (!stream)
        return {InvalidDevice, 0, 0};
    CollectMessages(*stream);

    GstElement* playbin = stream->playbin.get();
    gint64 position = 0;
    gint64 duration = 0;
    if (!gst_element_query_position(playbin, GST_FORMAT_TIME, &position))
        position = 0;
    // Parsers of compressed files may learn the duration only after a few frames.
    const bool knowDuration = gst_element_query_duration(playbin, GST_FORMAT_TIME, &duration);

    Status result;
    result.position_ms = Milliseconds(position);
    result.length_ms = knowDuration ? Milliseconds(duration) : -1;
    // The last buffer's position may stop short of the stated duration, or pass it.
    if (stream->atEnd) {
        if (result.length_ms < 0)
            result.length_ms = result.position_ms;
        result.position_ms = result.length_ms;
    } else if (knowDuration) {
        result.position_ms = std::min(result.position_ms, result.length_ms);
    }
    return result;
}

MediaDevice::Result GstMediaDevice::SeekToStart(DeviceId device) {
    Stream* stream = Find(device);
    if (!stream)
        return InvalidDevice;
    CollectMessages(*stream);

    if (!gst_element_seek_simple(stream->playbin.get(), GST_FORMAT_TIME,
                                 GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT), 0))
        return SeekRefused;
    gst_element_get_state(stream->playbin.get(), nullptr, nullptr, kSettleTimeout);
    stream->atEnd = false;
    stream->endPending = false;
    return 0;
}

MediaDevice::Result GstMediaDevice::Play(DeviceId device) {
    Stream* stream = Find(device);
    if (!stream)
        return InvalidDevice;
    CollectMessages(*stream);

    if (gst_element_set_state(stream->playbin.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return FailureFromBus(*stream, StateChangeRefused);
    stream->playing = true;
    poll_.start();
    return 0;
}

MediaDevice::Result GstMediaDevice::Stop(DeviceId device) {
    Stream* stream = Find(device);
    if (!stream)
        return InvalidDevice;
    CollectMessages(*stream);

    stream->playing = false;
    stream->endPending = false; // a stopped play is not reported as ended
    if (gst_element_set_state(stream->playbin.get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
        return FailureFromBus(*stream, StateChangeRefused);
    gst_element_get_state(stream->playbin.get(), nullptr, nullptr, kSettleTimeout);
    return 0;
}

MediaDevice::Result GstMediaDevice::Close(DeviceId device) {
    const auto found = streams_.find(device);
    if (found == streams_.end())
        return InvalidDevice;
    streams_.erase(found);
    return 0;
}

QString GstMediaDevice::ErrorText(Result code) {
    return texts_.value(code);
}

GstMediaDevice::Stream* GstMediaDevice::Find(DeviceId device) const {
    const auto found = streams_.find(device);
    return found == streams_.end() ? nullptr : found->second.get();
}

MediaDevice::DeviceId GstMediaDevice::FreeId() {
    for (int tries = 0; tries <= 0xFFFF; ++tries) {
        ++lastId_; // wraps to 0, which is never given out
        if (lastId_ != 0 && !streams_.contains(lastId_))
            return lastId_;
    }
    return 0;
}

void GstMediaDevice::CollectMessages(Stream& stream) {
    while (const GstMessagePtr message{gst_bus_pop(stream.bus.get())}) {
        switch (GST_MESSAGE_TYPE(message.get())) {
        case GST_MESSAGE_EOS:
            // Paused so that a later rewind does not start the sound by itself.
            gst_element_set_state(stream.playbin.get(), GST_STATE_PAUSED);
            stream.atEnd = true;
            stream.endPending = stream.playing;
            break;
        case GST_MESSAGE_ERROR:
            FailureFromMessage(message.get());
            stream.atEnd = true;
            stream.endPending = stream.playing;
            break;
        default:
            break;
        }
    }
}

void GstMediaDevice::Poll() {
    std::vector<DeviceId> ended;
    bool anyPlaying = false;
    for (auto& [id, stream] : streams_) {
        CollectMessages(*stream);
        if (stream->endPending) {
            stream->endPending = false;
            stream->playing = false;
            ended.push_back(id);
        }
        anyPlaying = anyPlaying || stream->playing;
    }
    if (!anyPlaying)
        poll_.stop();

    // Last, because a handler may close devices or play again.
    for (const DeviceId id : ended) {
        if (!Find(id))
            continue;
        try {
            ReportEndOfMedium(id);
        } catch (...) {
            LogSwallowed(lcCall(), "end-of-medium handler");
        }
    }
}

MediaDevice::Result GstMediaDevice::Failure(Result code, const QString& text) {
    if (!text.isEmpty())
        texts_.insert(code, text);
    return code;
}

MediaDevice::Result GstMediaDevice::FailureFromBus(Stream& stream, Result fallback) {
    const GstMessagePtr error(gst_bus_pop_filtered(stream.bus.get(), GST_MESSAGE_ERROR));
    return error ? FailureFromMessage(error.get()) : fallback;
}

MediaDevice::Result GstMediaDevice::FailureFromMessage(GstMessage* error) {
    GError* raw = nullptr;
    gst_message_parse_error(error, &raw, nullptr);
    const GErrorPtr parsed(raw);
    if (!parsed)
        return StateChangeRefused;
    return Failure(CodeOf(*parsed), QString::fromUtf8(parsed->message));
}

} // namespace vocalyn::call
