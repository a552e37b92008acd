# The video over the network: JPEG encoding and decoding through libjpeg-turbo, the video
# datagram, the 24-bit picture of each frame. Its own target, so that tests, benchmarks and
# fuzzers take it without the windows.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VOCALYN_JPEG REQUIRED IMPORTED_TARGET GLOBAL libjpeg)
add_library(vocalyn_video_transport STATIC
    ${CMAKE_CURRENT_LIST_DIR}/DecodeBudget.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FramePicture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JpegCodec.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JpegGuard.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JpegGuard.h
    ${CMAKE_CURRENT_LIST_DIR}/QualityLadder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VideoDatagram.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VideoTransport.cpp
)
target_link_libraries(vocalyn_video_transport PUBLIC vocalyn_video_frames vocalyn_net vocalyn_base
    Qt6::Gui PkgConfig::VOCALYN_JPEG)
target_link_libraries(vocalyn_video PUBLIC vocalyn_video_transport)
