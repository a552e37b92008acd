#include "voice/gst/VoicePipelines.h"

#include "base/gst/SoundStreams.h"
#include "voice/gst/InetAddress.h"

#include <gst/base/gstbasesink.h>
#include <gst/net/gstnetaddressmeta.h>

namespace vocalyn::voice {

namespace {

constexpr char kRtpCaps[] =
    "application/x-rtp,media=audio,encoding-name=OPUS,clock-rate=48000,payload=96";
constexpr char kPlaybackFormat[] =
    "audio/x-raw,format=S16LE,layout=interleaved,rate=48000,channels=1";

GstElementPtr ParseBin(const QString& description, const char* name, QString& problem) {
    GError* raw = nullptr;
    GstElementPtr bin(
        AdoptElement(gst_parse_bin_from_description(description.toUtf8().constData(), TRUE, &raw)));
    GErrorPtr error(raw);
    if (error) {
        problem = QString::fromUtf8(error->message);
        return nullptr;
    }
    if (!bin) {
        problem = QStringLiteral("cannot be built");
        return nullptr;
    }
    gst_object_set_name(GST_OBJECT(bin.get()), name);
    return bin;
}

GstElementPtr ByName(GstElement* bin, const char* name) {
    return GstElementPtr(gst_bin_get_by_name(GST_BIN(bin), name));
}

GstElementPtr NewPipeline(const char* name) {
    GstElementPtr pipeline(AdoptElement(gst_pipeline_new(name)));
    // Keep the messages of a stopped pipeline: an error while starting must reach the user.
    gst_pipeline_set_auto_flush_bus(GST_PIPELINE(pipeline.get()), FALSE);
    return pipeline;
}

// Adds both bins to `pipeline` and links them; false when their formats cannot meet.
bool AddAndLink(GstElement* pipeline, GstElement* first, GstElement* second) {
    // Our references stay ours: the bin takes one of its own.
    gst_bin_add_many(GST_BIN(pipeline), first, second, nullptr);
    return gst_element_link(first, second);
}

// What the receive filter needs; it runs on udpsrc's streaming thread only.
struct ReceiveFilter {
    std::shared_ptr<PeerAddress> peer;
    std::shared_ptr<LineWatch> line;
    StreamLatch latch;
};

// The packet is the peer's and well-formed (ShouldPlay), so its fixed header is there.
void Measure(LineWatch& line, std::span<const std::uint8_t> packet) {
    const auto word = [&](std::size_t at) {
        return std::uint32_t(packet[at]) << 24 | std::uint32_t(packet[at + 1]) << 16 |
               std::uint32_t(packet[at + 2]) << 8 | packet[at + 3];
    };
    const std::lock_guard lock(line.mutex);
    line.quality.Arrived(word(8), std::uint16_t(packet[2] << 8 | packet[3]), word(4),
                         g_get_monotonic_time());
}

bool FromPeer(GstBuffer* buffer, ReceiveFilter& filter, IPv4 peer) noexcept {
    IPv4 sender = 0;
    if (GstNetAddressMeta* meta = gst_buffer_get_net_address_meta(buffer);
        meta && G_IS_INET_SOCKET_ADDRESS(meta->addr))
        sender = ToIPv4(g_inet_socket_address_get_address(G_INET_SOCKET_ADDRESS(meta->addr)));
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return false;
    const std::span<const std::uint8_t> packet(map.data, map.size);
    const bool play = ShouldPlay(packet, sender, peer) &&
                      filter.latch.Follows(packet, peer, g_get_monotonic_time() / 1000);
    if (play)
        Measure(*filter.line, packet);
    gst_buffer_unmap(buffer, &map);
    return play;
}

// Runs on udpsrc's streaming thread for every datagram.
GstPadProbeReturn FilterDatagrams(GstPad*, GstPadProbeInfo* info, gpointer data) noexcept {
    auto& filter = *static_cast<ReceiveFilter*>(data);
    const IPv4 peer = filter.peer->load();
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER)
        return FromPeer(GST_PAD_PROBE_INFO_BUFFER(info), filter, peer) ? GST_PAD_PROBE_OK
                                                                       : GST_PAD_PROBE_DROP;
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        GstBufferList* list = gst_buffer_list_make_writable(GST_PAD_PROBE_INFO_BUFFER_LIST(info));
        GST_PAD_PROBE_INFO_DATA(info) = list;
        // In arrival order, as the stream latch expects.
        for (guint i = 0; i < gst_buffer_list_length(list);) {
            if (FromPeer(gst_buffer_list_get(list, i), filter, peer))
                ++i;
            else
                gst_buffer_list_remove(list, i, 1);
        }
        return gst_buffer_list_length(list) ? GST_PAD_PROBE_OK : GST_PAD_PROBE_DROP;
    }
    return GST_PAD_PROBE_OK;
}

void AddPeerFilter(GstElement* udpsrc, std::shared_ptr<PeerAddress> peer,
                   std::shared_ptr<LineWatch> line) {
    GstPadPtr pad(gst_element_get_static_pad(udpsrc, "src"));
    gst_pad_add_probe(pad.get(),
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
                      FilterDatagrams, new ReceiveFilter{std::move(peer), std::move(line), {}},
                      [](gpointer data) { delete static_cast<ReceiveFilter*>(data); });
}

// A sink's processing deadline is time the whole pipeline waits for, on top of the jitter
// buffer; 20 ms by default. Decoding and converting one 20 ms packet takes well under a
// millisecond, so a little headroom is enough.
constexpr GstClockTime kSpeakerDeadline = 2 * GST_MSECOND;

void ShortenDeadline(GstElement* element) {
    if (GST_IS_BASE_SINK(element))
        g_object_set(element, "processing-deadline", guint64(kSpeakerDeadline), nullptr);
}

void OnSpeakerElementAdded(GstBin*, GstBin*, GstElement* element, gpointer) noexcept {
    ShortenDeadline(element);
}

// For the sinks in the speaker description, and for those that an automatic element such as
// autoaudiosink only makes when it starts.
void ShortenDeadlines(GstElement* speaker) {
    ShortenDeadline(speaker);
    if (!GST_IS_BIN(speaker))
        return;
    g_signal_connect(speaker, "deep-element-added", G_CALLBACK(OnSpeakerElementAdded), nullptr);
    using Iterator = std::unique_ptr<GstIterator, decltype(&gst_iterator_free)>;
    Iterator children(gst_bin_iterate_recurse(GST_BIN(speaker)), &gst_iterator_free);
    GValue child = G_VALUE_INIT;
    while (gst_iterator_next(children.get(), &child) == GST_ITERATOR_OK) {
        ShortenDeadline(GST_ELEMENT(g_value_get_object(&child)));
        g_value_reset(&child);
    }
    g_value_unset(&child);
}

} // namespace

std::unique_ptr<SendPipeline> BuildSendPipeline(const PipelineRecipe& recipe, QString& problem) {
    auto send = std::make_unique<SendPipeline>();
    QString why;
    send->microphone = ParseBin(recipe.microphone, "microphone", why);
    if (!send->microphone) {
        problem = QStringLiteral("Microphone unavailable: %1").arg(why);
        return nullptr;
    }
    const QString dsp = recipe.voiceProcessing
                            ? QStringLiteral("webrtcdsp name=dsp probe=%1 delay-agnostic=true "
                                             "extended-filter=true ! ")
                                  .arg(recipe.echoProbe)
                            : QString();
    const QString chainText =
        QStringLiteral("audioconvert ! audioresample ! capsfilter name=format ! %1"
                       "volume name=gain ! audioconvert ! opusenc name=encoder audio-type=voice ! "
                       "rtpopuspay name=payloader pt=%2 ! "
                       "multiudpsink name=network sync=false async=false")
            .arg(dsp, QString::number(kOpusPayloadType));
    GstElementPtr chain = ParseBin(chainText, "sending", why);
    if (!chain) {
        problem = QStringLiteral("Sending failed: %1").arg(why);
        return nullptr;
    }
    LabelSoundStreams(send->microphone.get(), SoundStream::Microphone);
    send->pipeline = NewPipeline("vocalyn-send");
    if (!AddAndLink(send->pipeline.get(), send->microphone.get(), chain.get())) {
        problem = QStringLiteral("Microphone unavailable: its sound format cannot be used");
        return nullptr;
    }
    send->format = ByName(chain.get(), "format");
    send->gain = ByName(chain.get(), "gain");
    send->encoder = ByName(chain.get(), "encoder");
    send->payloader = ByName(chain.get(), "payloader");
    send->network = ByName(chain.get(), "network");
    return send;
}

std::unique_ptr<ReceivePipeline> BuildReceivePipeline(const PipelineRecipe& recipe,
                                                      std::shared_ptr<PeerAddress> peer,
                                                      QString& problem) {
    auto receive = std::make_unique<ReceivePipeline>();
    const QString probe = recipe.voiceProcessing
                              ? QStringLiteral("webrtcechoprobe name=%1 ! ").arg(recipe.echoProbe)
                              : QString();
    // The jitter buffer keeps what it holds past its wait: the sound server's clock, which the
    // pipeline runs on, only starts once the speaker plays, and a buffer dropping on latency
    // until then starved the speaker for good (silence with a burst about once a second).
    const QString chainText =
        QStringLiteral("udpsrc name=network caps=\"%1\" ! "
                       "rtpjitterbuffer name=jitter do-lost=true ! "
                       "rtpopusdepay ! opusdec name=decoder plc=true ! "
                       "audioconvert ! audioresample ! %2 ! volume name=gain ! %3"
                       "audioconvert ! audioresample")
            .arg(QLatin1String(kRtpCaps), QLatin1String(kPlaybackFormat), probe);
    QString why;
    GstElementPtr chain = ParseBin(chainText, "receiving", why);
    if (!chain) {
        problem = QStringLiteral("Receiving failed: %1").arg(why);
        return nullptr;
    }
    receive->speaker = ParseBin(recipe.speaker, "speaker", why);
    if (!receive->speaker) {
        problem = QStringLiteral("Speaker unavailable: %1").arg(why);
        receive->speaker = ParseBin(QStringLiteral("fakesink sync=true"), "speaker", why);
    }
    receive->pipeline = NewPipeline("vocalyn-receive");
    if (!AddAndLink(receive->pipeline.get(), chain.get(), receive->speaker.get())) {
        problem = QStringLiteral("Speaker unavailable: it cannot play 48 kHz sound");
        return nullptr;
    }
    receive->network = ByName(chain.get(), "network");
    receive->jitter = ByName(chain.get(), "jitter");
    receive->decoder = ByName(chain.get(), "decoder");
    receive->gain = ByName(chain.get(), "gain");
    AddPeerFilter(receive->network.get(), std::move(peer), receive->line);
    ShortenDeadlines(receive->speaker.get());
    LabelSoundStreams(receive->speaker.get(), SoundStream::Voice);
    return receive;
}

} // namespace vocalyn::voice
