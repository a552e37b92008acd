#include "tests/voice/GstTestSupport.h"

#include <gio/gio.h>
#include <gst/app/gstappsink.h>
#include <gst/net/gstnetaddressmeta.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <map>
#include <random>
#include <stdexcept>

namespace vocalyn::voicetest {

UdpSocket BindUdp(int port) {
    UdpSocket socket(
        g_socket_new(G_SOCKET_FAMILY_IPV4, G_SOCKET_TYPE_DATAGRAM, G_SOCKET_PROTOCOL_UDP, nullptr));
    std::unique_ptr<GInetAddress, GObjectUnref> any(g_inet_address_new_any(G_SOCKET_FAMILY_IPV4));
    std::unique_ptr<GSocketAddress, GObjectUnref> address(
        g_inet_socket_address_new(any.get(), guint16(port)));
    if (!socket || !g_socket_bind(socket.get(), address.get(), FALSE, nullptr))
        return nullptr;
    return socket;
}

int FreeUdpPort() {
    UdpSocket socket = BindUdp(0);
    if (!socket)
        throw std::runtime_error("no free UDP port");
    std::unique_ptr<GSocketAddress, GObjectUnref> bound(
        g_socket_get_local_address(socket.get(), nullptr));
    return g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(bound.get()));
}

UdpRelay::UdpRelay(int to, int minDelay_ms, int maxDelay_ms, int dropEvery)
    : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("relay: no socket");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([=, this] { Run(to, minDelay_ms, maxDelay_ms, dropEvery); });
}

UdpRelay::~UdpRelay() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
}

void UdpRelay::Run(int to, int minDelay_ms, int maxDelay_ms, int dropEvery) {
    using Clock = std::chrono::steady_clock;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    target.sin_port = htons(std::uint16_t(to));
    std::mt19937 random(11);
    std::uniform_int_distribution<int> delay_us(minDelay_ms * 1000, maxDelay_ms * 1000);
    std::multimap<Clock::time_point, std::vector<char>> due;
    long count = 0;
    while (!stop_) {
        const auto now = Clock::now();
        while (!due.empty() && due.begin()->first <= now) {
            const std::vector<char>& packet = due.begin()->second;
            ::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&target),
                     sizeof target);
            due.erase(due.begin());
        }
        pollfd wait{fd_, POLLIN, 0};
        if (::poll(&wait, 1, 1) <= 0)
            continue;
        std::vector<char> packet(65536);
        const ssize_t size = ::recv(fd_, packet.data(), packet.size(), 0);
        if (size <= 0 || (dropEvery > 0 && ++count % dropEvery == 0))
            continue;
        packet.resize(std::size_t(size));
        due.emplace(Clock::now() + std::chrono::microseconds(delay_us(random)), std::move(packet));
    }
}

TestPipeline::TestPipeline(const QString& description) {
    gst_init(nullptr, nullptr); // a test may build its pipelines before any terminal
    GError* error = nullptr;
    pipeline_ = gst_parse_launch(description.toUtf8().constData(), &error);
    if (error) {
        const std::string message = error->message;
        g_error_free(error);
        if (pipeline_)
            gst_object_unref(pipeline_);
        throw std::runtime_error("test pipeline: " + message);
    }
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
}

TestPipeline::~TestPipeline() {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
}

GstElement* TestPipeline::element(const char* name) const {
    GstElement* found = gst_bin_get_by_name(GST_BIN(pipeline_), name);
    if (found)
        gst_object_unref(found); // the pipeline keeps it alive
    return found;
}

namespace {

template <typename Store> void Release(gpointer store) {
    delete static_cast<std::shared_ptr<Store>*>(store);
}

GstFlowReturn OnSample(GstAppSink* appsink, gpointer data) noexcept {
    auto& store = **static_cast<std::shared_ptr<PcmCollector::Store>*>(data);
    GstSample* sample = gst_app_sink_pull_sample(appsink);
    if (!sample)
        return GST_FLOW_EOS;
    GstMapInfo map;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        const auto* first = reinterpret_cast<const std::int16_t*>(map.data);
        std::lock_guard lock(store.mutex);
        store.samples.insert(store.samples.end(), first, first + map.size / 2);
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

GstPadProbeReturn OnRtp(GstPad*, GstPadProbeInfo* info, gpointer data) noexcept {
    auto& store = **static_cast<std::shared_ptr<RtpTap::Store>*>(data);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    RtpTap::Packet packet;
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        if (map.size >= 12) {
            packet.version = map.data[0] >> 6;
            packet.payloadType = map.data[1] & 0x7F;
            packet.timestamp = std::uint32_t(map.data[4]) << 24 | std::uint32_t(map.data[5]) << 16 |
                               std::uint32_t(map.data[6]) << 8 | map.data[7];
        }
        gst_buffer_unmap(buffer, &map);
    }
    if (GstNetAddressMeta* meta = gst_buffer_get_net_address_meta(buffer)) {
        auto* address = G_INET_SOCKET_ADDRESS(meta->addr);
        gchar* text = g_inet_address_to_string(g_inet_socket_address_get_address(address));
        packet.senderAddress = QString::fromUtf8(text);
        g_free(text);
        packet.senderPort = g_inet_socket_address_get_port(address);
    }
    std::lock_guard lock(store.mutex);
    store.packets.push_back(packet);
    return GST_PAD_PROBE_OK;
}

} // namespace

PcmCollector::PcmCollector(GstElement* appsink) {
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = OnSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(appsink), &callbacks,
                               new std::shared_ptr<Store>(store_), Release<Store>);
}

std::size_t PcmCollector::count() const {
    std::lock_guard lock(store_->mutex);
    return store_->samples.size();
}

std::vector<std::int16_t> PcmCollector::samples() const {
    std::lock_guard lock(store_->mutex);
    return store_->samples;
}

RtpTap::RtpTap(GstElement* element) {
    GstPad* pad = gst_element_get_static_pad(element, "src");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, OnRtp, new std::shared_ptr<Store>(store_),
                      Release<Store>);
    gst_object_unref(pad);
}

std::size_t RtpTap::count() const {
    std::lock_guard lock(store_->mutex);
    return store_->packets.size();
}

std::vector<RtpTap::Packet> RtpTap::packets() const {
    std::lock_guard lock(store_->mutex);
    return store_->packets;
}

double ToneFrequency(const std::vector<std::int16_t>& samples, int rate) {
    double first = -1;
    double last = -1;
    int crossings = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        const double before = samples[i - 1];
        const double after = samples[i];
        if (before < 0 && after >= 0) {
            const double at = double(i - 1) + (-before) / (after - before);
            if (first < 0)
                first = at;
            last = at;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0;
    return (crossings - 1) / ((last - first) / rate);
}

double Rms(const std::vector<std::int16_t>& samples) {
    if (samples.empty())
        return 0;
    double sum = 0;
    for (const std::int16_t sample : samples)
        sum += double(sample) * sample;
    return std::sqrt(sum / double(samples.size()));
}

} // namespace vocalyn::voicetest
