#include "voice/gst/VoiceEngine.h"

#include <gst/audio/gstaudiodecoder.h>

namespace vocalyn::voice {

namespace {

constexpr char kStatusMessage[] = "vocalyn-status";

// Opus only spends bits on in-band FEC when it expects loss; told to expect some, it really
// carries it.
void ApplyProtection(const SendPipeline& send, const SenderSettings& settings) {
    const bool fec = settings.fec && settings.lossy;
    g_object_set(send.encoder.get(), "inband-fec", gboolean(fec), "packet-loss-percentage",
                 gint(fec ? 10 : 0), nullptr);
}

void ApplySenderSettings(const SendPipeline& send, const SenderSettings& settings) {
    GstCapsPtr caps(gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout",
                                        G_TYPE_STRING, "interleaved", "rate", G_TYPE_INT, 48000,
                                        "channels", G_TYPE_INT, settings.channels, nullptr));
    g_object_set(send.format.get(), "caps", caps.get(), nullptr);
    gst_util_set_object_arg(G_OBJECT(send.encoder.get()), "frame-size",
                            QByteArray::number(settings.packetTime_ms).constData());
    g_object_set(send.encoder.get(), "bitrate", gint(settings.bitrate_kbps * 1000), "dtx",
                 gboolean(settings.dtx), nullptr);
    ApplyProtection(send, settings);
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(send.payloader.get()), "dtx"))
        g_object_set(send.payloader.get(), "dtx", gboolean(settings.dtx), nullptr);
}

// Drops the messages nobody will read any more: those from the pipeline itself
// hold a reference to it, and would keep it alive for ever.
void DiscardMessages(GstElement* pipeline) {
    GstBusPtr bus(gst_element_get_bus(pipeline));
    gst_bus_set_flushing(bus.get(), TRUE);
}

bool Play(GstElement* pipeline) {
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE)
        return true;
    gst_element_set_state(pipeline, GST_STATE_NULL);
    return false;
}

} // namespace

void PostStatus(GstElement* pipeline, StatusTopic topic, const QString& text, bool fallback) {
    GstStructure* fields =
        gst_structure_new(kStatusMessage, "topic", G_TYPE_INT, int(topic), "text", G_TYPE_STRING,
                          text.toUtf8().constData(), "fallback", G_TYPE_BOOLEAN, fallback, nullptr);
    gst_element_post_message(pipeline, gst_message_new_application(GST_OBJECT(pipeline), fields));
}

bool ReadStatus(GstMessage* message, PostedStatus& status) {
    const GstStructure* fields = gst_message_get_structure(message);
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_APPLICATION || !fields ||
        !gst_structure_has_name(fields, kStatusMessage))
        return false;
    int topic = 0;
    gboolean fallback = FALSE;
    gst_structure_get_int(fields, "topic", &topic);
    gst_structure_get_boolean(fields, "fallback", &fallback);
    status.topic = StatusTopic(topic);
    status.text = QString::fromUtf8(gst_structure_get_string(fields, "text"));
    status.fallback = fallback;
    return true;
}

VoiceEngine::VoiceEngine(std::unique_ptr<SendPipeline> send,
                         std::unique_ptr<ReceivePipeline> receive)
    : send_(std::move(send)), receive_(std::move(receive)) {}

VoiceEngine::~VoiceEngine() {
    Shutdown();
}

void VoiceEngine::StartSending(const SenderSettings& settings, int port) {
    if (!send_ || sending_)
        return;
    sending_ = true;
    GSocket* socket = SocketFor(port, send_->pipeline.get());
    if (!socket)
        return;
    g_object_set(send_->network.get(), "socket", socket, "close-socket", FALSE, nullptr);
    sender_ = settings;
    ApplySenderSettings(*send_, settings);
    if (!Play(send_->pipeline.get()))
        PostStatus(send_->pipeline.get(), StatusTopic::Sending,
                   QStringLiteral("Microphone unavailable: it cannot be started"), true);
}

void VoiceEngine::StopSending() {
    if (!send_ || !sending_)
        return;
    sending_ = false;
    gst_element_set_state(send_->pipeline.get(), GST_STATE_NULL);
    if (!receiving_)
        ReleaseSocket();
}

void VoiceEngine::StartReceiving(const ReceiverSettings& settings, int port) {
    if (!receive_ || receiving_)
        return;
    receiving_ = true;
    GSocket* socket = SocketFor(port, receive_->pipeline.get());
    if (!socket)
        return;
    g_object_set(receive_->network.get(), "socket", socket, "close-socket", FALSE, nullptr);
    wait_ms_ = settings.jitterBuffer_ms;
    packetTime_ms_ = settings.packetTime_ms;
    fec_ = false;
    gst_audio_decoder_set_latency(GST_AUDIO_DECODER(receive_->decoder.get()), 0, 0);
    g_object_set(receive_->jitter.get(), "latency", guint(wait_ms_), nullptr);
    g_object_set(receive_->decoder.get(), "use-inband-fec", FALSE, nullptr);
    if (!Play(receive_->pipeline.get()))
        PostStatus(receive_->pipeline.get(), StatusTopic::Receiving,
                   QStringLiteral("Speaker unavailable: it cannot be started"), true);
}

void VoiceEngine::StopReceiving() {
    if (!receive_ || !receiving_)
        return;
    receiving_ = false;
    gst_element_set_state(receive_->pipeline.get(), GST_STATE_NULL);
    if (!sending_)
        ReleaseSocket();
}

void VoiceEngine::TuneSending(bool lossy) {
    if (!send_ || !sending_ || lossy == sender_.lossy)
        return;
    sender_.lossy = lossy;
    ApplyProtection(*send_, sender_); // opusenc applies it from the next packet on
}

void VoiceEngine::TuneReceiving(int jitterBuffer_ms, bool fec) {
    if (!receive_ || !receiving_ || (jitterBuffer_ms == wait_ms_ && fec == fec_))
        return;
    if (fec != fec_) {
        g_object_set(receive_->decoder.get(), "use-inband-fec", gboolean(fec), nullptr);
        // With FEC the decoder holds each packet until the next one has come, but does not say
        // so: told, the pipeline plays everything that much later instead of too late.
        const GstClockTime held = fec ? GstClockTime(packetTime_ms_) * GST_MSECOND : 0;
        gst_audio_decoder_set_latency(GST_AUDIO_DECODER(receive_->decoder.get()), held, held);
    }
    if (jitterBuffer_ms != wait_ms_)
        g_object_set(receive_->jitter.get(), "latency", guint(jitterBuffer_ms), nullptr);
    wait_ms_ = jitterBuffer_ms;
    fec_ = fec;
    // The speaker plays each sample the pipeline's latency after its timestamp: it must learn the
    // new wait, or it plays what comes later as late.
    gst_bin_recalculate_latency(GST_BIN(receive_->pipeline.get()));
}

void VoiceEngine::Halt(bool sendingSide) {
    if (sendingSide && send_)
        gst_element_set_state(send_->pipeline.get(), GST_STATE_NULL);
    if (!sendingSide && receive_)
        gst_element_set_state(receive_->pipeline.get(), GST_STATE_NULL);
}

void VoiceEngine::Shutdown() {
    sending_ = receiving_ = false;
    if (send_) {
        gst_element_set_state(send_->pipeline.get(), GST_STATE_NULL);
        DiscardMessages(send_->pipeline.get());
    }
    if (receive_) {
        gst_element_set_state(receive_->pipeline.get(), GST_STATE_NULL);
        DiscardMessages(receive_->pipeline.get());
    }
    ReleaseSocket();
}

GSocket* VoiceEngine::SocketFor(int port, GstElement* reportTo) {
    // The direction being started is already counted; a port change waits
    // until the other direction has stopped too.
    const bool otherRunning = sending_ && receiving_;
    if (socket_ && (port == boundPort_ || otherRunning))
        return socket_.get();
    ReleaseSocket();

    GError* raw = nullptr;
    GSocketPtr socket(
        g_socket_new(G_SOCKET_FAMILY_IPV4, G_SOCKET_TYPE_DATAGRAM, G_SOCKET_PROTOCOL_UDP, &raw));
    if (socket) {
        GInetAddressPtr any(g_inet_address_new_any(G_SOCKET_FAMILY_IPV4));
        GSocketAddressPtr address(g_inet_socket_address_new(any.get(), guint16(port)));
        // No address reuse: a second program on this port must fail, not share the packets.
        if (!g_socket_bind(socket.get(), address.get(), FALSE, &raw))
            socket.reset();
    }
    GErrorPtr error(raw);
    if (!socket) {
        PostStatus(reportTo, StatusTopic::Port,
                   QStringLiteral("Voice port %1 cannot be used: %2")
                       .arg(port)
                       .arg(error ? QString::fromUtf8(error->message) : QString()));
        return nullptr;
    }
    socket_ = std::move(socket);
    boundPort_ = port;
    PostStatus(reportTo, StatusTopic::Port, QString());
    return socket_.get();
}

void VoiceEngine::ReleaseSocket() {
    if (!socket_)
        return;
    // The elements hold references of their own; the port is free only when all are gone.
    if (send_)
        g_object_set(send_->network.get(), "socket", nullptr, nullptr);
    if (receive_)
        g_object_set(receive_->network.get(), "socket", nullptr, nullptr);
    socket_.reset();
}

} // namespace vocalyn::voice
