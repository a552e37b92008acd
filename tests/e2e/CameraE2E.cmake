# The real program on two test hosts, each with an emulated webcam, driven through a preloaded
# window driver. Its own test hosts, so that it runs beside the other end-to-end tests.
add_library(vocalyn_window_driver SHARED ${CMAKE_CURRENT_LIST_DIR}/WindowDriver.cpp)
target_link_libraries(vocalyn_window_driver PRIVATE Qt6::Widgets)
if(VOCALYN_SANITIZE)
    target_compile_options(vocalyn_window_driver PRIVATE -fno-sanitize=all)
    target_link_options(vocalyn_window_driver PRIVATE -fno-sanitize=all)
endif()

add_executable(e2e_camera_test ${CMAKE_CURRENT_LIST_DIR}/CameraE2ETest.cpp)
target_link_libraries(e2e_camera_test PRIVATE vocalyn_test_main Qt6::Core Qt6::Gui Qt6::Test)
target_include_directories(e2e_camera_test PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(e2e_camera_test PRIVATE
    V4L2CAM_LIBRARY="$<TARGET_FILE:v4l2cam>"
    WINDOW_DRIVER_LIBRARY="$<TARGET_FILE:vocalyn_window_driver>"
    V4L2CAM_PROFILES="${PROJECT_SOURCE_DIR}/tests/v4l2cam/profiles")
add_dependencies(e2e_camera_test vocalyn v4l2cam vocalyn_window_driver)

set(camera_prefix "vc${tree_hash}")
add_test(NAME e2e_camera
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/run_e2e.sh ${testnet} ${camera_prefix}
            $<TARGET_FILE:e2e_camera_test>)
set_tests_properties(e2e_camera PROPERTIES
    LABELS e2e
    TIMEOUT 90
    SKIP_RETURN_CODE 77
    ENVIRONMENT "VOCALYN_PROGRAM=$<TARGET_FILE:vocalyn>;QT_QPA_PLATFORM=offscreen"
    FIXTURES_REQUIRED vocalyn_camera_testnet)
add_test(NAME e2e_camera_testnet_cleanup COMMAND ${testnet} down ${camera_prefix})
set_tests_properties(e2e_camera_testnet_cleanup PROPERTIES
    LABELS e2e
    FIXTURES_CLEANUP vocalyn_camera_testnet)
