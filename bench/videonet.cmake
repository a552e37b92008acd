# The video transport's send and receive paths against bare libjpeg-turbo in the same run, and
# the share of camera frames that fit one datagram at quality 90.
add_executable(bench_videonet ${CMAKE_CURRENT_LIST_DIR}/VideoNetBench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CameraScene.h)
target_include_directories(bench_videonet PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(bench_videonet PRIVATE benchmark::benchmark vocalyn_video_transport
    Qt6::Gui)
