# The video transport: the JPEG codec with its limits, the video datagram, the 24-bit picture of
# a frame; then the main window's video handlers on a scripted camera.
vocalyn_add_test(video_transport_test LABEL video
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/JpegCodecTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/VideoDatagramTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/FramePictureTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/QualityLadderTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/LineBudgetTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/DecodeBoundsTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/CraftedJpeg.h
            ${CMAKE_CURRENT_LIST_DIR}/PictureSupport.h
    LIBS vocalyn_video_transport vocalyn_fakes_video)
vocalyn_add_test(video_window_test LABEL video
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/VideoWindowTest.cpp
    LIBS vocalyn_core vocalyn_fakes)
