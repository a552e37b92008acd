# The layers, lowest first, and the folders each one may include from:
#   base -> net -> widgets -> call | video | voice -> directory -> app
# call, video and voice are siblings and never include one another. Every code folder calls
# vocalyn_layer(<its layer>) before its targets: the folder's targets then see, as their only
# project include root, a directory in the build tree that links to exactly the folders of that
# layer and the layers below it. Including a higher layer's header fails to compile.
set(VOCALYN_LAYER_base base)
set(VOCALYN_LAYER_net ${VOCALYN_LAYER_base} net)
set(VOCALYN_LAYER_widgets ${VOCALYN_LAYER_net} widgets)
set(VOCALYN_LAYER_call ${VOCALYN_LAYER_widgets} call)
set(VOCALYN_LAYER_video ${VOCALYN_LAYER_widgets} video)
set(VOCALYN_LAYER_voice ${VOCALYN_LAYER_widgets} voice)
set(VOCALYN_LAYER_directory ${VOCALYN_LAYER_widgets} call video voice directory)
set(VOCALYN_LAYER_app ${VOCALYN_LAYER_directory} app)
set(VOCALYN_LAYERS base net widgets call video voice directory app)

foreach(layer IN LISTS VOCALYN_LAYERS)
    set(root ${PROJECT_BINARY_DIR}/layers/${layer})
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root})
    foreach(folder IN LISTS VOCALYN_LAYER_${layer})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    endforeach()
endforeach()

# The include root of <layer> for every target defined from here on in this folder and below.
macro(vocalyn_layer layer)
    if(NOT DEFINED VOCALYN_LAYER_${layer})
        message(FATAL_ERROR "unknown layer ${layer}")
    endif()
    include_directories(${PROJECT_BINARY_DIR}/layers/${layer})
endmacro()
