# How long set-up takes between copies on test hosts: ringing after Call, and sound and picture
# after the answer, within loose bounds. Included by CMakeLists.txt after VoiceE2E.cmake, whose
# peer with a real media terminal and RTP tool it uses.
add_executable(e2e_call_setup_test ${CMAKE_CURRENT_LIST_DIR}/CallSetupE2ETest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CallSetupRig.cpp ${CMAKE_CURRENT_LIST_DIR}/CallSetupRig.h
    ${CMAKE_CURRENT_LIST_DIR}/PeerProcess.cpp ${CMAKE_CURRENT_LIST_DIR}/PeerProcess.h)
target_include_directories(e2e_call_setup_test PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(e2e_call_setup_test PRIVATE vocalyn_test_main Qt6::Core)
add_dependencies(e2e_call_setup_test vocalyn_peer vocalyn_rtp_tool)

add_test(NAME e2e_call_setup
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/run_e2e.sh ${testnet} ${netns_prefix}
            $<TARGET_FILE:e2e_call_setup_test>)
set_tests_properties(e2e_call_setup PROPERTIES
    LABELS e2e
    TIMEOUT 60
    SKIP_RETURN_CODE 77
    ENVIRONMENT "VOCALYN_PEER=$<TARGET_FILE:vocalyn_peer>;VOCALYN_RTP_TOOL=$<TARGET_FILE:vocalyn_rtp_tool>;QT_QPA_PLATFORM=offscreen"
    FIXTURES_REQUIRED vocalyn_testnet
    RESOURCE_LOCK vocalyn_testnet)
