# The desktop announcement between copies on test hosts: Bob's copy announces on a message bus of
# the test's own, where the test plays the notification service. Its own test hosts, so that it
# runs alongside the other end-to-end tests. Included by CMakeLists.txt.
add_executable(e2e_notify_test ${CMAKE_CURRENT_LIST_DIR}/NotifyE2ETest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PeerProcess.cpp ${CMAKE_CURRENT_LIST_DIR}/PeerProcess.h)
target_link_libraries(e2e_notify_test PRIVATE vocalyn_test_main vocalyn_fakes_dbus Qt6::Core
    Qt6::Test)
add_dependencies(e2e_notify_test vocalyn_peer)

set(notify_netns_prefix "${netns_prefix}n")
add_test(NAME e2e_notify
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/run_e2e.sh ${testnet} ${notify_netns_prefix}
            $<TARGET_FILE:e2e_notify_test>)
set_tests_properties(e2e_notify PROPERTIES
    LABELS "e2e;call"
    TIMEOUT 60
    SKIP_RETURN_CODE 77
    ENVIRONMENT "VOCALYN_PEER=$<TARGET_FILE:vocalyn_peer>;QT_QPA_PLATFORM=offscreen"
    FIXTURES_REQUIRED vocalyn_notify_testnet)
add_test(NAME e2e_notify_testnet_cleanup COMMAND ${testnet} down ${notify_netns_prefix})
set_tests_properties(e2e_notify_testnet_cleanup PROPERTIES
    LABELS "e2e;call"
    FIXTURES_CLEANUP vocalyn_notify_testnet)
