# The local address on a host whose name maps to a loopback address, and floods of call requests
# against a busy copy. Included by CMakeLists.txt, whose test hosts' prefix and script it uses;
# each scenario has test hosts of its own.
add_executable(vocalyn_request_flood ${CMAKE_CURRENT_LIST_DIR}/RequestFloodMain.cpp)
target_include_directories(vocalyn_request_flood PRIVATE ${PROJECT_SOURCE_DIR})

add_executable(e2e_signalling_test ${CMAKE_CURRENT_LIST_DIR}/SignallingE2ETest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PeerProcess.cpp ${CMAKE_CURRENT_LIST_DIR}/PeerProcess.h)
target_link_libraries(e2e_signalling_test PRIVATE vocalyn_test_main Qt6::Core)
add_dependencies(e2e_signalling_test vocalyn_peer vocalyn_request_flood)

foreach(scenario IN ITEMS local_address reply_flood)
    if(scenario STREQUAL "local_address")
        set(filter "LocalAddressEndToEnd.*")
        set(scenario_prefix "${netns_prefix}l")
    else()
        set(filter "BusyReplyFlood.*")
        set(scenario_prefix "${netns_prefix}f")
    endif()
    add_test(NAME e2e_${scenario}
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/run_e2e.sh ${testnet} ${scenario_prefix}
                $<TARGET_FILE:e2e_signalling_test> --gtest_filter=${filter})
    set_tests_properties(e2e_${scenario} PROPERTIES
        LABELS e2e
        TIMEOUT 90
        SKIP_RETURN_CODE 77
        ENVIRONMENT "VOCALYN_PEER=$<TARGET_FILE:vocalyn_peer>;VOCALYN_REQUEST_FLOOD=$<TARGET_FILE:vocalyn_request_flood>;QT_QPA_PLATFORM=offscreen"
        FIXTURES_REQUIRED vocalyn_testnet_${scenario})
    add_test(NAME e2e_${scenario}_cleanup COMMAND ${testnet} down ${scenario_prefix})
    set_tests_properties(e2e_${scenario}_cleanup PROPERTIES
        LABELS e2e
        FIXTURES_CLEANUP vocalyn_testnet_${scenario})
endforeach()
