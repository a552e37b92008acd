#pragma once

#include <QString>

#include <gio/gio.h>
#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Independent GStreamer pipelines and measurements for the terminal's tests.
// Nothing here uses the terminal's own code.
namespace vocalyn::voicetest {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using UdpSocket = std::unique_ptr<GSocket, GObjectUnref>;

// A UDP socket bound to `port` on every local address (0: any free port);
// null when the port is taken.
UdpSocket BindUdp(int port);

// A UDP port that is free on every local address right now.
int FreeUdpPort();

// A pipeline from gst-launch text, playing while this object lives.
class TestPipeline {
public:
    explicit TestPipeline(const QString& description);
    ~TestPipeline();
    TestPipeline(const TestPipeline&) = delete;
    TestPipeline& operator=(const TestPipeline&) = delete;

    GstElement* element(const char* name) const; // borrowed; null when absent

private:
    GstElement* pipeline_ = nullptr;
};

// Collects mono S16 samples that reach an appsink, from its streaming thread.
// What it collects outlives it for as long as the appsink may still call.
class PcmCollector {
public:
    explicit PcmCollector(GstElement* appsink);
    std::size_t count() const;
    std::vector<std::int16_t> samples() const;

    struct Store {
        std::mutex mutex;
        std::vector<std::int16_t> samples;
    };

private:
    std::shared_ptr<Store> store_ = std::make_shared<Store>();
};

// Records the RTP packets leaving an element's src pad (a udpsrc) with their senders.
class RtpTap {
public:
    struct Packet {
        int version = 0;
        int payloadType = 0;
        std::uint32_t timestamp = 0;
        QString senderAddress;
        int senderPort = 0;
    };

    explicit RtpTap(GstElement* element);
    std::size_t count() const;
    std::vector<Packet> packets() const;

    struct Store {
        std::mutex mutex;
        std::vector<Packet> packets;
    };

private:
    std::shared_ptr<Store> store_ = std::make_shared<Store>();
};

// A line on the loopback: forwards each datagram that reaches its port to 127.0.0.1:`to` after
// a random delay between `minDelay_ms` and `maxDelay_ms` (so that packets overtake one another),
// and drops one in `dropEvery` (0: none).
class UdpRelay {
public:
    UdpRelay(int to, int minDelay_ms, int maxDelay_ms, int dropEvery);
    ~UdpRelay();
    UdpRelay(const UdpRelay&) = delete;
    UdpRelay& operator=(const UdpRelay&) = delete;

    int port() const { return port_; }

private:
    void Run(int to, int minDelay_ms, int maxDelay_ms, int dropEvery);

    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The frequency of a steady tone from its rising zero crossings (linearly
// interpolated between samples); 0 when there are fewer than two.
double ToneFrequency(const std::vector<std::int16_t>& samples, int rate);

// Root mean square level, 0 to 32768.
double Rms(const std::vector<std::int16_t>& samples);

} // namespace vocalyn::voicetest
