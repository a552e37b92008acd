# Voice between copies on test hosts: copies started with --voice carry their sound through the
# real media terminal, from a test source to a sink that the voice commands listen to. Included by
# CMakeLists.txt, whose test hosts' prefix and script it uses.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VOCALYN_PEER_GST REQUIRED IMPORTED_TARGET gstreamer-1.0 gstreamer-audio-1.0)
add_library(vocalyn_peer_voice STATIC
    ${CMAKE_CURRENT_LIST_DIR}/TappedMediaTerm.cpp ${CMAKE_CURRENT_LIST_DIR}/TappedMediaTerm.h
    ${CMAKE_CURRENT_LIST_DIR}/VoiceTap.cpp ${CMAKE_CURRENT_LIST_DIR}/VoiceTap.h)
target_link_libraries(vocalyn_peer_voice PUBLIC vocalyn_voice_gst vocalyn_fakes
    PRIVATE PkgConfig::VOCALYN_PEER_GST)
target_include_directories(vocalyn_peer_voice PUBLIC ${PROJECT_SOURCE_DIR})
# GLib's headers use "signals" as a name; Qt must not define it as a keyword here.
target_compile_definitions(vocalyn_peer_voice PRIVATE QT_NO_KEYWORDS)
target_sources(vocalyn_peer PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VoiceCommands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VoiceCommands.h)
target_link_libraries(vocalyn_peer PRIVATE vocalyn_peer_voice)

# Floods a test host with bad RTP and counts what a host sends.
add_executable(vocalyn_rtp_tool ${CMAKE_CURRENT_LIST_DIR}/RtpToolMain.cpp)
target_include_directories(vocalyn_rtp_tool PRIVATE ${PROJECT_SOURCE_DIR})

add_executable(e2e_voice_test ${CMAKE_CURRENT_LIST_DIR}/VoiceE2ETest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PeerProcess.cpp ${CMAKE_CURRENT_LIST_DIR}/PeerProcess.h)
target_link_libraries(e2e_voice_test PRIVATE vocalyn_test_main Qt6::Core Qt6::Test)
add_dependencies(e2e_voice_test vocalyn_peer vocalyn_rtp_tool)

add_test(NAME e2e_voice
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/run_e2e.sh ${testnet} ${netns_prefix}
            $<TARGET_FILE:e2e_voice_test>)
set_tests_properties(e2e_voice PROPERTIES
    LABELS e2e
    TIMEOUT 120
    SKIP_RETURN_CODE 77
    ENVIRONMENT "VOCALYN_PEER=$<TARGET_FILE:vocalyn_peer>;VOCALYN_RTP_TOOL=$<TARGET_FILE:vocalyn_rtp_tool>;QT_QPA_PLATFORM=offscreen"
    FIXTURES_REQUIRED vocalyn_testnet
    RESOURCE_LOCK vocalyn_testnet)
