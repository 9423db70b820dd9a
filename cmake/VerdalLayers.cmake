# The layers of the program: the files of each folder include the headers of their own folder and
# of the folders beneath it, as listed here, and no others. The list is the one the libraries'
# links follow; an include against it fails the build of the folder's library, with the line.
#
#   platform                       the system beneath everything
#   store, engine                  on platform
#   device, update                 on store
#   ui                             on engine
#   app                            on all of them
#
# verdal_layer(<folder> TARGET <target> [USES <folder>...])
function(verdal_layer folder)
  cmake_parse_arguments(ARG "" "TARGET" "USES" ${ARGN})
  file(GLOB_RECURSE files CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/${folder}/*.cpp ${PROJECT_SOURCE_DIR}/${folder}/*.h)
  list(JOIN files "|" fileList)
  list(JOIN ARG_USES "|" useList)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${ARG_TARGET}.layer)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DFOLDER=${folder} -DUSES=${useList} -DFILES=${fileList}
      -DSTAMP=${stamp} -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake
    COMMENT "Checking that ${folder}/ includes only its layer's headers"
    VERBATIM)
  add_custom_target(${ARG_TARGET}_layer DEPENDS ${stamp})
  add_dependencies(${ARG_TARGET} ${ARG_TARGET}_layer)
endfunction()

function(verdal_check_layers)
  verdal_layer(platform TARGET verdal_platform)
  verdal_layer(store TARGET verdal_store USES platform)
  verdal_layer(engine TARGET verdal_engine USES platform)
  verdal_layer(device TARGET verdal_device USES store platform)
  verdal_layer(update TARGET verdal_update USES store platform)
  verdal_layer(ui TARGET verdal_ui USES engine platform)
  verdal_layer(app TARGET verdal_app USES ui update device engine store platform)
endfunction()
