# Call set-up times through two copies of the program on test hosts, against a standard SIP
# client (baresip, when installed) between the same hosts. Needs the end-to-end test tools (the
# tests must be built too) and root for the test hosts.
if(TARGET vocalyn_peer_voice)
    add_executable(bench_call_setup ${CMAKE_CURRENT_LIST_DIR}/CallSetupBench.cpp
        ${CMAKE_CURRENT_LIST_DIR}/CallSetupAnchor.cpp ${CMAKE_CURRENT_LIST_DIR}/CallSetupAnchor.h
        ${PROJECT_SOURCE_DIR}/tests/e2e/CallSetupRig.cpp
        ${PROJECT_SOURCE_DIR}/tests/e2e/PeerProcess.cpp)
    target_include_directories(bench_call_setup PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(bench_call_setup PRIVATE benchmark::benchmark Qt6::Core)
    target_compile_definitions(bench_call_setup PRIVATE
        VOCALYN_TESTNET="${PROJECT_SOURCE_DIR}/tools/testnet.sh"
        VOCALYN_PEER_PROGRAM="$<TARGET_FILE:vocalyn_peer>"
        VOCALYN_RTP_TOOL_PROGRAM="$<TARGET_FILE:vocalyn_rtp_tool>")
    add_dependencies(bench_call_setup vocalyn_peer vocalyn_rtp_tool)
else()
    message(STATUS "bench_call_setup needs the tests (VOCALYN_TESTS=ON): not built")
endif()
