# The converters (with the exhaustive check of every kernel the processor
# runs) and the frame buffer.
vocalyn_add_test(video_test LABEL video
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/YUVToRGBTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/YUVConvertersTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/FrameBufferTest.cpp
    LIBS vocalyn_video_conversion)
