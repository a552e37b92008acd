#include "voice/gst/VoicePipelines.h"

#include "voice/gst/InetAddress.h"

#include <gst/audio/gstaudiodecoder.h>
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

bool FromPeer(GstBuffer* buffer, IPv4 peer) noexcept {
    IPv4 sender = 0;
    if (GstNetAddressMeta* meta = gst_buffer_get_net_address_meta(buffer);
        meta && G_IS_INET_SOCKET_ADDRESS(meta->addr))
        sender = ToIPv4(g_inet_socket_address_get_address(G_INET_SOCKET_ADDRESS(meta->addr)));
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return false;
    const bool play = ShouldPlay({map.data, map.size}, sender, peer);
    gst_buffer_unmap(buffer, &map);
    return play;
}

// Runs on udpsrc's streaming thread for every datagram.
GstPadProbeReturn FilterDatagrams(GstPad*, GstPadProbeInfo* info, gpointer data) noexcept {
    const IPv4 peer = (*static_cast<std::shared_ptr<PeerAddress>*>(data))->load();
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER)
        return FromPeer(GST_PAD_PROBE_INFO_BUFFER(info), peer) ? GST_PAD_PROBE_OK
                                                               : GST_PAD_PROBE_DROP;
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        GstBufferList* list = gst_buffer_list_make_writable(GST_PAD_PROBE_INFO_BUFFER_LIST(info));
        GST_PAD_PROBE_INFO_DATA(info) = list;
        for (guint i = gst_buffer_list_length(list); i-- > 0;)
            if (!FromPeer(gst_buffer_list_get(list, i), peer))
                gst_buffer_list_remove(list, i, 1);
        return gst_buffer_list_length(list) ? GST_PAD_PROBE_OK : GST_PAD_PROBE_DROP;
    }
    return GST_PAD_PROBE_OK;
}

void AddPeerFilter(GstElement* udpsrc, std::shared_ptr<PeerAddress> peer) {
    GstPadPtr pad(gst_element_get_static_pad(udpsrc, "src"));
    gst_pad_add_probe(
        pad.get(), GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
        FilterDatagrams, new std::shared_ptr<PeerAddress>(std::move(peer)),
        [](gpointer data) { delete static_cast<std::shared_ptr<PeerAddress>*>(data); });
}

// Runs when a latency query has passed the decoder on its way upstream.
GstPadProbeReturn CorrectDecoderLatency(GstPad* pad, GstPadProbeInfo* info,
                                        gpointer data) noexcept {
    GstQuery* query = GST_PAD_PROBE_INFO_QUERY(info);
    if (GST_QUERY_TYPE(query) != GST_QUERY_LATENCY)
        return GST_PAD_PROBE_OK;
    const GstClockTime hold =
        GstClockTime((*static_cast<std::shared_ptr<std::atomic<int>>*>(data))->load()) *
        GST_MSECOND;
    GstClockTime decoderMin = 0;
    GstClockTime decoderMax = 0;
    gst_audio_decoder_get_latency(GST_AUDIO_DECODER(GST_PAD_PARENT(pad)), &decoderMin, &decoderMax);
    gboolean live = FALSE;
    GstClockTime min = 0;
    GstClockTime max = 0;
    gst_query_parse_latency(query, &live, &min, &max);
    if (decoderMin > hold && min >= decoderMin)
        gst_query_set_latency(query, live, min - decoderMin + hold, max);
    return GST_PAD_PROBE_OK;
}

void AddLatencyCorrection(GstElement* decoder, std::shared_ptr<std::atomic<int>> hold_ms) {
    GstPadPtr pad(gst_element_get_static_pad(decoder, "src"));
    gst_pad_add_probe(
        pad.get(), GstPadProbeType(GST_PAD_PROBE_TYPE_QUERY_UPSTREAM | GST_PAD_PROBE_TYPE_PULL),
        CorrectDecoderLatency, new std::shared_ptr<std::atomic<int>>(std::move(hold_ms)),
        [](gpointer data) { delete static_cast<std::shared_ptr<std::atomic<int>>*>(data); });
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
                            ? QStringLiteral("webrtcdsp name=dsp probe=%1 ! ").arg(recipe.echoProbe)
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
    const QString chainText =
        QStringLiteral("udpsrc name=network caps=\"%1\" ! "
                       "rtpjitterbuffer name=jitter drop-on-latency=true do-lost=true ! "
                       "rtpopusdepay ! opusdec name=decoder use-inband-fec=true plc=true ! "
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
    receive->gain = ByName(chain.get(), "gain");
    AddPeerFilter(receive->network.get(), std::move(peer));
    AddLatencyCorrection(ByName(chain.get(), "decoder").get(), receive->fecHold_ms);
    return receive;
}

} // namespace vocalyn::voice
