# The cost of a call: GStreamer pipelines doing a call's job, the anchor for
# tools/camera-call-cost.sh, which measures the real program beside them.
pkg_check_modules(VOCALYN_GST_ANCHOR IMPORTED_TARGET gstreamer-1.0)
if(VOCALYN_GST_ANCHOR_FOUND)
    add_executable(bench_gst_anchor GstAnchor.cpp)
    target_link_libraries(bench_gst_anchor PRIVATE PkgConfig::VOCALYN_GST_ANCHOR)
endif()
