# Mouth-to-ear delay through two copies of the program on test hosts, against a plain GStreamer
# pipeline pair, and the energy kept under 10 % loss. Needs the end-to-end test tools (the tests
# must be built too) and root for the test hosts.
if(TARGET vocalyn_peer_voice)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(VOCALYN_BENCH_GST REQUIRED IMPORTED_TARGET gstreamer-1.0)
    add_executable(bench_voice_latency ${CMAKE_CURRENT_LIST_DIR}/VoiceLatencyBench.cpp
        ${PROJECT_SOURCE_DIR}/tests/e2e/PeerProcess.cpp)
    target_include_directories(bench_voice_latency PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(bench_voice_latency PRIVATE benchmark::benchmark vocalyn_peer_voice
        PkgConfig::VOCALYN_BENCH_GST Qt6::Core)
    target_compile_definitions(bench_voice_latency PRIVATE QT_NO_KEYWORDS
        VOCALYN_TESTNET="${PROJECT_SOURCE_DIR}/tools/testnet.sh"
        VOCALYN_PEER_PROGRAM="$<TARGET_FILE:vocalyn_peer>")
    add_dependencies(bench_voice_latency vocalyn_peer)
else()
    message(STATUS "bench_voice_latency needs the tests (VOCALYN_TESTS=ON): not built")
endif()

# How well the receiver's decoder rebuilds lost packets from in-band FEC, against concealment.
pkg_check_modules(VOCALYN_BENCH_GST_APP IMPORTED_TARGET gstreamer-app-1.0)
if(VOCALYN_BENCH_GST_APP_FOUND)
    add_executable(bench_opus_fec ${CMAKE_CURRENT_LIST_DIR}/OpusFecBench.cpp)
    target_link_libraries(bench_opus_fec PRIVATE PkgConfig::VOCALYN_BENCH_GST_APP)
endif()
