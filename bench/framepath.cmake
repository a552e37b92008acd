# A camera frame through the capture connection as the main window takes it, inside and
# outside a call.
add_executable(bench_framepath ${CMAKE_CURRENT_LIST_DIR}/FramePathBench.cpp)
target_include_directories(bench_framepath PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(bench_framepath PRIVATE benchmark::benchmark vocalyn_video_transport
    vocalyn_fakes_video)
