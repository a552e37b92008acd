# The converters against libyuv (Debian's libyuv-dev, which has no pkg-config
# file) and a plain copy of the output.
find_path(LIBYUV_INCLUDE_DIR libyuv.h)
find_library(LIBYUV_LIBRARY yuv)
if(LIBYUV_INCLUDE_DIR AND LIBYUV_LIBRARY)
    add_executable(bench_yuv ${CMAKE_CURRENT_LIST_DIR}/YUVConvertBench.cpp)
    target_include_directories(bench_yuv PRIVATE ${LIBYUV_INCLUDE_DIR})
    target_link_libraries(bench_yuv PRIVATE benchmark::benchmark vocalyn_video_conversion
        ${LIBYUV_LIBRARY})
else()
    message(STATUS "libyuv not found (apt-get install libyuv-dev): bench_yuv is not built")
endif()
