// The anchor of the call-cost measurement: runs GStreamer pipelines given as text for a number of
// seconds, so that their CPU time can be set beside the program's doing the same job. The
// buffers leaving an element named "count" (in each pipeline that has one) are counted, and
// their rate is printed at the end: the pictures decoded, on a lossy line; with the longest gap
// between two of them (or from the last to the end), the longest a screen would stand still.
//
//   bench_gst_anchor SECONDS PIPELINE [PIPELINE...]
#include <gst/gst.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct Unref {
    void operator()(GstElement* element) const {
        gst_element_set_state(element, GST_STATE_NULL);
        gst_object_unref(element);
    }
};

struct Counter {
    guint64 buffers = 0;
    GstClockTime first = 0;
    GstClockTime last = 0;
    GstClockTime longestGap = 0;
};

GstPadProbeReturn Count(GstPad*, GstPadProbeInfo*, gpointer data) {
    auto& counter = *static_cast<Counter*>(data);
    const GstClockTime now = gst_util_get_timestamp();
    if (counter.buffers++ == 0)
        counter.first = now;
    else
        counter.longestGap = std::max(counter.longestGap, now - counter.last);
    counter.last = now;
    return GST_PAD_PROBE_OK;
}

gboolean Quit(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
}

} // namespace

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SECONDS PIPELINE...\n", argv[0]);
        return 2;
    }
    const int seconds = std::atoi(argv[1]);
    std::vector<std::unique_ptr<GstElement, Unref>> pipelines;
    std::vector<std::unique_ptr<Counter>> counters;
    for (int i = 2; i < argc; ++i) {
        GError* error = nullptr;
        GstElement* pipeline = gst_parse_launch(argv[i], &error);
        if (!pipeline || error) {
            std::fprintf(stderr, "%s: %s\n", argv[i], error ? error->message : "failed");
            if (error)
                g_error_free(error);
            if (pipeline)
                gst_object_unref(pipeline);
            return 1;
        }
        pipelines.emplace_back(pipeline);
        if (GstElement* counted = gst_bin_get_by_name(GST_BIN(pipeline), "count")) {
            counters.push_back(std::make_unique<Counter>());
            GstPad* pad = gst_element_get_static_pad(counted, "src");
            gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, Count, counters.back().get(),
                              nullptr);
            gst_object_unref(pad);
            gst_object_unref(counted);
        }
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
    }
    const GstClockTime start = gst_util_get_timestamp();
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_timeout_add_seconds(static_cast<guint>(seconds > 0 ? seconds : 1), Quit, loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    const GstClockTime end = gst_util_get_timestamp();
    pipelines.clear();
    for (const auto& counter : counters) {
        const double span = double(counter->last - counter->first) / GST_SECOND;
        const GstClockTime longest =
            counter->buffers ? std::max(counter->longestGap, end - std::min(end, counter->last))
                             : end - start;
        std::printf("counted %llu buffers, %.1f per second, longest gap %llu ms\n",
                    static_cast<unsigned long long>(counter->buffers),
                    span > 0 ? double(counter->buffers - 1) / span : 0.0,
                    static_cast<unsigned long long>(longest / GST_MSECOND));
    }
    return 0;
}
