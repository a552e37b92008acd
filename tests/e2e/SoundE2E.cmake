# The sound server's listing of the program's streams: the real ring-tone player and voice
# terminal play into a PulseAudio server of the test's own, on a socket file; no test hosts are
# needed. Skipped without pulseaudio and pactl (pulseaudio-utils). Included by CMakeLists.txt.
add_executable(e2e_sound_streams_test ${CMAKE_CURRENT_LIST_DIR}/SoundStreamsE2ETest.cpp)
target_link_libraries(e2e_sound_streams_test PRIVATE vocalyn_test_main vocalyn_call_gst
    vocalyn_voice_gst Qt6::Core Qt6::Test)
target_compile_definitions(e2e_sound_streams_test PRIVATE
    VOCALYN_ASSETS_DIR="${PROJECT_SOURCE_DIR}/assets")

add_test(NAME e2e_sound_streams COMMAND e2e_sound_streams_test)
set_tests_properties(e2e_sound_streams PROPERTIES
    LABELS "e2e;voice;call"
    TIMEOUT 60
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
