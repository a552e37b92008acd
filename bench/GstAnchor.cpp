// The anchor of the call-cost measurement: runs GStreamer pipelines given as text for a number of
// seconds, so that their CPU time can be set beside the program's doing the same job.
//
//   bench_gst_anchor SECONDS PIPELINE [PIPELINE...]
#include <gst/gst.h>

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
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
    }
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_timeout_add_seconds(static_cast<guint>(seconds > 0 ? seconds : 1), Quit, loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    pipelines.clear();
    return 0;
}
