// How well the receiver's decoder rebuilds lost packets: a recording (speech, in any format
// GStreamer reads) is encoded as the terminal sends it (Opus, 32 kbit/s, voice, 20 ms, in-band FEC
// for 10 % loss), packets are lost at random, and the decoder is fed each packet or, for a lost
// one, a gap, as the jitter buffer and depayloader hand it on. It runs three times: no loss,
// concealment alone (plc=true), and with the next packet's FEC (use-inband-fec=true). Printed:
// the median SNR of the lost frames against the decode without loss, frames of silence left out.
//
//   bench_opus_fec RECORDING [LOSS_PERCENT=5]
//
// Speech to feed it (espeak-ng is in the bench packages of tools/packages.sh):
//   espeak-ng -w speech.wav "$(head -c 2000 README.md)"
#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kFrame = 960; // 20 ms

struct Packet {
    std::vector<guint8> bytes;
    GstClockTime pts;
};

GstElement* Launch(const std::string& description) {
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (error) {
        std::fprintf(stderr, "%s\n", error->message);
        std::exit(1);
    }
    return pipeline;
}

// Runs a pipeline to its end, handing each sample of its appsink "out" to `take`.
template <typename Take> void Drain(GstElement* pipeline, Take take) {
    GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    while (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(out))) {
        take(gst_sample_get_buffer(sample));
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(out);
    gst_object_unref(pipeline);
}

std::vector<Packet> Encode(const char* recording) {
    std::vector<Packet> packets;
    Drain(Launch(std::string("filesrc location=\"") + recording +
                 "\" ! decodebin ! audioconvert ! audioresample ! "
                 "audio/x-raw,format=S16LE,rate=48000,channels=1 ! opusenc bitrate=32000 "
                 "audio-type=voice frame-size=20 inband-fec=true packet-loss-percentage=10 ! "
                 "appsink name=out sync=false"),
          [&](GstBuffer* buffer) {
              GstMapInfo map;
              gst_buffer_map(buffer, &map, GST_MAP_READ);
              packets.push_back({{map.data, map.data + map.size}, GST_BUFFER_PTS(buffer)});
              gst_buffer_unmap(buffer, &map);
          });
    return packets;
}

// Decodes the packets, a gap where `lost` says so; the samples placed by their timestamps.
std::vector<double> Decode(const std::vector<Packet>& packets, const std::vector<bool>& lost,
                           bool fec) {
    GstElement* pipeline = Launch(
        std::string("opusdec name=decoder plc=true use-inband-fec=") + (fec ? "true" : "false") +
        " ! audio/x-raw,format=S16LE ! appsink name=out sync=false async=false");
    GstElement* element = gst_bin_get_by_name(GST_BIN(pipeline), "decoder");
    GstPad* decoder = gst_element_get_static_pad(element, "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    // Fed straight into the decoder's pad from here, gaps in order with the packets.
    gst_pad_send_event(decoder, gst_event_new_stream_start("fec"));
    GstCaps* caps = gst_caps_from_string("audio/x-opus,channel-mapping-family=0,channels=1,"
                                         "rate=48000");
    gst_pad_send_event(decoder, gst_event_new_caps(caps));
    gst_caps_unref(caps);
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    gst_pad_send_event(decoder, gst_event_new_segment(&segment));
    std::vector<double> samples(packets.size() * kFrame + kRate);
    GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    // The appsink holds events back until what came before them is pulled: fed on a thread.
    std::thread feeder([&] {
        const GstClockTime duration = GST_MSECOND * 20;
        for (std::size_t n = 0; n < packets.size(); ++n) {
            const GstClockTime pts = n * duration;
            if (lost[n]) {
                gst_pad_send_event(decoder, gst_event_new_gap(pts, duration));
                continue;
            }
            GstBuffer* buffer =
                gst_buffer_new_memdup(packets[n].bytes.data(), packets[n].bytes.size());
            GST_BUFFER_PTS(buffer) = pts;
            GST_BUFFER_DURATION(buffer) = duration;
            gst_pad_chain(decoder, buffer);
        }
        gst_pad_send_event(decoder, gst_event_new_eos());
    });
    while (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(out))) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_READ);
        const std::size_t at = GST_BUFFER_PTS(buffer) * kRate / GST_SECOND;
        const auto* pcm = reinterpret_cast<const gint16*>(map.data);
        for (std::size_t i = 0; i < map.size / 2 && at + i < samples.size(); ++i)
            samples[at + i] = pcm[i];
        gst_buffer_unmap(buffer, &map);
        gst_sample_unref(sample);
    }
    feeder.join();
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(out);
    gst_object_unref(decoder);
    gst_object_unref(element);
    gst_object_unref(pipeline);
    return samples;
}

double Median(std::vector<double> values) {
    if (values.empty())
        return NAN;
    std::nth_element(values.begin(), values.begin() + long(values.size() / 2), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s RECORDING [LOSS_PERCENT]\n", argv[0]);
        return 2;
    }
    const double loss = (argc > 2 ? std::atof(argv[2]) : 5.0) / 100;
    const std::vector<Packet> packets = Encode(argv[1]);
    std::vector<bool> none(packets.size()), lost(packets.size());
    std::mt19937 random(1);
    std::bernoulli_distribution drop(loss);
    for (std::size_t n = 1; n + 1 < packets.size(); ++n)
        lost[n] = drop(random);
    const std::vector<double> clean = Decode(packets, none, false);
    const std::vector<double> concealed = Decode(packets, lost, false);
    const std::vector<double> rebuilt = Decode(packets, lost, true);

    double loudest = 0;
    for (double sample : clean)
        loudest = std::max(loudest, std::abs(sample));
    std::vector<double> plc, fec;
    for (std::size_t n = 0; n < packets.size(); ++n) {
        if (!lost[n])
            continue;
        double signal = 0, plcNoise = 0, fecNoise = 0;
        for (std::size_t i = n * kFrame; i < (n + 1) * kFrame; ++i) {
            signal += clean[i] * clean[i];
            plcNoise += (concealed[i] - clean[i]) * (concealed[i] - clean[i]);
            fecNoise += (rebuilt[i] - clean[i]) * (rebuilt[i] - clean[i]);
        }
        // Frames 40 dB under the loudest sample are silence: nothing to rebuild there.
        if (std::sqrt(signal / kFrame) < loudest / 100)
            continue;
        plc.push_back(10 * std::log10(signal / std::max(plcNoise, 1.0)));
        fec.push_back(10 * std::log10(signal / std::max(fecNoise, 1.0)));
    }
    std::printf("%zu packets, %.1f %% lost, %zu lost frames with sound: median SNR "
                "concealment %.1f dB, FEC %.1f dB\n",
                packets.size(), 100 * loss, plc.size(), Median(plc), Median(fec));
    return 0;
}
