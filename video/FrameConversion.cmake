# Frame format conversion: the YUV converters and the frame buffer of the
# capture connection. Kept in its own target so that it builds and tests
# without the capture backends.
add_library(vocalyn_video_frames STATIC
    ${CMAKE_CURRENT_LIST_DIR}/BitmapFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrameBuffer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/YUVConverters.cpp
    ${CMAKE_CURRENT_LIST_DIR}/YUVExactPixel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/YUVKernelSelect.cpp
    ${CMAKE_CURRENT_LIST_DIR}/YUVRowsAvx2.cpp
    ${CMAKE_CURRENT_LIST_DIR}/YUVRowsAvx512.cpp
    ${CMAKE_CURRENT_LIST_DIR}/YUVToRGB.cpp
)
target_link_libraries(vocalyn_video_frames PUBLIC vocalyn_base Qt6::Core Qt6::Gui)
target_link_libraries(vocalyn_video PUBLIC vocalyn_video_frames)
