# Video between copies on test hosts, the time from a camera frame to the peer's picture, and a
# flood of random datagrams from a third host. Included by CMakeLists.txt, whose test hosts'
# prefix and script it uses.
target_sources(vocalyn_peer PRIVATE ${CMAKE_CURRENT_LIST_DIR}/PeerVideo.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PeerVideo.h)

add_executable(vocalyn_flood ${CMAKE_CURRENT_LIST_DIR}/FloodMain.cpp)
target_include_directories(vocalyn_flood PRIVATE ${PROJECT_SOURCE_DIR})

add_executable(e2e_video_test ${CMAKE_CURRENT_LIST_DIR}/VideoE2ETest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PeerProcess.cpp ${CMAKE_CURRENT_LIST_DIR}/PeerProcess.h)
target_link_libraries(e2e_video_test PRIVATE vocalyn_test_main Qt6::Core Qt6::Test)
add_dependencies(e2e_video_test vocalyn_peer vocalyn_flood)

foreach(scenario IN ITEMS video video_flood)
    if(scenario STREQUAL "video")
        set(filter "VideoEndToEnd.*")
    else()
        set(filter "VideoFlood.*")
    endif()
    add_test(NAME e2e_${scenario}
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/run_e2e.sh ${testnet} ${netns_prefix}
                $<TARGET_FILE:e2e_video_test> --gtest_filter=${filter})
    set_tests_properties(e2e_${scenario} PROPERTIES
        LABELS e2e
        TIMEOUT 150
        SKIP_RETURN_CODE 77
        ENVIRONMENT "VOCALYN_PEER=$<TARGET_FILE:vocalyn_peer>;VOCALYN_FLOOD=$<TARGET_FILE:vocalyn_flood>;QT_QPA_PLATFORM=offscreen"
        FIXTURES_REQUIRED vocalyn_testnet
        RESOURCE_LOCK vocalyn_testnet)
endforeach()

# Hostile JPEG files from a third host against a copy in a call, with busy-reply probes; on test
# hosts of their own, as the measurement must not share the machine with another flood.
add_executable(vocalyn_jpegflood ${CMAKE_CURRENT_LIST_DIR}/JpegFloodMain.cpp
    ${PROJECT_SOURCE_DIR}/tests/video/CraftedJpeg.h)
target_include_directories(vocalyn_jpegflood PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(vocalyn_jpegflood PRIVATE vocalyn_video_transport Qt6::Gui)
add_executable(e2e_hostile_video_test ${CMAKE_CURRENT_LIST_DIR}/HostileVideoE2ETest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PeerProcess.cpp ${CMAKE_CURRENT_LIST_DIR}/PeerProcess.h)
target_link_libraries(e2e_hostile_video_test PRIVATE vocalyn_test_main Qt6::Core Qt6::Test)
add_dependencies(e2e_hostile_video_test vocalyn_peer vocalyn_jpegflood)
add_test(NAME e2e_video_hostile
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/run_e2e.sh ${testnet} ${netns_prefix}j
            $<TARGET_FILE:e2e_hostile_video_test>)
set_tests_properties(e2e_video_hostile PROPERTIES
    LABELS e2e
    TIMEOUT 150
    SKIP_RETURN_CODE 77
    ENVIRONMENT "VOCALYN_PEER=$<TARGET_FILE:vocalyn_peer>;VOCALYN_JPEGFLOOD=$<TARGET_FILE:vocalyn_jpegflood>;QT_QPA_PLATFORM=offscreen"
    RESOURCE_LOCK vocalyn_testnet)
