# The layers, lowest first, and the folders each one may include from:
#   base -> net -> widgets -> call | video | voice -> directory -> app
# call, video and voice are siblings and never include one another. Inside video the order is
# conversion -> transport -> capture. The platform backends (base/gst, call/gst, voice/gst,
# video/capture/v4l2, directory/avahi) sit above the logic they serve: only the backend itself
# and the Linux platform bundle (app_linux) see their headers.
#
# Every code folder calls vocalyn_layer(<its layer>) before its targets (or
# vocalyn_target_layer(<target> <layer>) for one target): those targets then see, as their only
# project include root, a directory in the build tree that links to exactly what that layer may
# see. Including anything else fails to compile with the header not found.
#
# An entry is a folder linked whole, or a folder with a trailing "-": the folder without its
# backend subfolders.
set(VOCALYN_BACKEND_FOLDERS gst v4l2 avahi)
set(VOCALYN_LAYER_base base-)
set(VOCALYN_LAYER_net ${VOCALYN_LAYER_base} net)
set(VOCALYN_LAYER_widgets ${VOCALYN_LAYER_net} widgets)
set(VOCALYN_LAYER_call ${VOCALYN_LAYER_widgets} call-)
set(VOCALYN_LAYER_video_conversion ${VOCALYN_LAYER_widgets} video/conversion)
set(VOCALYN_LAYER_video_transport ${VOCALYN_LAYER_video_conversion} video/transport)
set(VOCALYN_LAYER_video ${VOCALYN_LAYER_video_transport} video/capture-)
set(VOCALYN_LAYER_voice ${VOCALYN_LAYER_widgets} voice-)
set(VOCALYN_LAYER_directory ${VOCALYN_LAYER_widgets} call- video/conversion video/transport
    video/capture- voice- directory-)
set(VOCALYN_LAYER_app ${VOCALYN_LAYER_directory} app)
# The backends: each sees its own layer, its own folder and the GStreamer runtime where it uses
# GStreamer.
set(VOCALYN_LAYER_base_gst base)
set(VOCALYN_LAYER_call_gst base net widgets call)
set(VOCALYN_LAYER_voice_gst base net widgets voice)
set(VOCALYN_LAYER_video_v4l2 ${VOCALYN_LAYER_video_transport} video/capture)
set(VOCALYN_LAYER_directory_avahi ${VOCALYN_LAYER_widgets} call- video/conversion video/transport
    video/capture- voice- directory)
set(VOCALYN_LAYER_app_linux base net widgets call video voice directory app)
set(VOCALYN_LAYERS base net widgets call video_conversion video_transport video voice directory
    app base_gst call_gst voice_gst video_v4l2 directory_avahi app_linux)

# Links `entry` (see above) of the source tree into `root`, making the folders above it.
function(vocalyn_link_entry root entry)
    string(REGEX REPLACE "-$" "" folder "${entry}")
    get_filename_component(parent "${root}/${folder}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    if(folder STREQUAL entry)
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
        return()
    endif()
    file(MAKE_DIRECTORY "${root}/${folder}")
    file(GLOB children RELATIVE ${PROJECT_SOURCE_DIR}/${folder} ${PROJECT_SOURCE_DIR}/${folder}/*)
    foreach(child IN LISTS children)
        if(NOT child IN_LIST VOCALYN_BACKEND_FOLDERS)
            file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder}/${child} ${root}/${folder}/${child}
                SYMBOLIC)
        endif()
    endforeach()
endfunction()

foreach(layer IN LISTS VOCALYN_LAYERS)
    set(root ${PROJECT_BINARY_DIR}/layers/${layer})
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root})
    foreach(entry IN LISTS VOCALYN_LAYER_${layer})
        vocalyn_link_entry(${root} ${entry})
    endforeach()
endforeach()
# A file added to a folder of a layer root is linked at the next configure.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/base
    ${PROJECT_SOURCE_DIR}/call ${PROJECT_SOURCE_DIR}/voice ${PROJECT_SOURCE_DIR}/video/capture
    ${PROJECT_SOURCE_DIR}/directory)

# The include root of <layer> for every target defined from here on in this folder and below.
macro(vocalyn_layer layer)
    if(NOT DEFINED VOCALYN_LAYER_${layer})
        message(FATAL_ERROR "unknown layer ${layer}")
    endif()
    include_directories(BEFORE ${PROJECT_BINARY_DIR}/layers/${layer})
endmacro()

# The include root of <layer> for one target, ahead of its folder's.
function(vocalyn_target_layer target layer)
    if(NOT DEFINED VOCALYN_LAYER_${layer})
        message(FATAL_ERROR "unknown layer ${layer}")
    endif()
    target_include_directories(${target} BEFORE PRIVATE ${PROJECT_BINARY_DIR}/layers/${layer})
endfunction()
