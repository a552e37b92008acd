# The cost of a call: GStreamer pipelines doing a call's job, the anchor for
# bench/camera_call_cost.sh, which measures the real program beside them; and for its line table,
# a relay that makes the line between the test hosts jittery and the comparison of the voice sent
# with the voice heard.
pkg_check_modules(VOCALYN_GST_ANCHOR IMPORTED_TARGET gstreamer-1.0)
if(VOCALYN_GST_ANCHOR_FOUND)
    add_executable(bench_gst_anchor GstAnchor.cpp)
    target_link_libraries(bench_gst_anchor PRIVATE PkgConfig::VOCALYN_GST_ANCHOR)
    add_executable(bench_voice_gaps VoiceGaps.cpp)
    target_link_libraries(bench_voice_gaps PRIVATE PkgConfig::VOCALYN_GST_ANCHOR)
endif()
add_executable(bench_jitter_relay JitterRelay.cpp)
