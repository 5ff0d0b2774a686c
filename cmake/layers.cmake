# The folders of src/ are layers. Each is declared with the layers it may use, and only after
# them, so a cycle cannot be written down; configuring then fails on any include of a folder a
# layer did not declare. CI configures from scratch, so every change passes this check.

# Fails when a file of src/FOLDER includes a folder other than itself and USES.
function(tidewire_check_includes folder)
  cmake_parse_arguments(ARG "" "" "USES" ${ARGN})
  file(GLOB files ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp ${PROJECT_SOURCE_DIR}/src/${folder}/*.h)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^#include \"[a-z_]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" used "${line}")
      if(NOT used STREQUAL folder AND NOT used IN_LIST ARG_USES)
        file(RELATIVE_PATH shown ${PROJECT_SOURCE_DIR} ${file})
        message(FATAL_ERROR "${shown} includes ${used}/, which src/${folder} may not use "
                            "(it may use: ${ARG_USES})")
      endif()
    endforeach()
  endforeach()
endfunction()

# A static library tidewire_FOLDER of src/FOLDER, linked to the layers it uses, each of which
# must already be declared.
function(tidewire_layer folder)
  cmake_parse_arguments(ARG "" "" "USES" ${ARGN})
  foreach(used IN LISTS ARG_USES)
    if(NOT TARGET tidewire_${used})
      message(FATAL_ERROR "src/${folder} uses ${used}, which is not a layer below it")
    endif()
  endforeach()
  tidewire_check_includes(${folder} USES ${ARG_USES})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp)
  list(REMOVE_ITEM sources ${PROJECT_SOURCE_DIR}/src/${folder}/main.cpp)
  add_library(tidewire_${folder} STATIC ${sources})
  target_include_directories(tidewire_${folder} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  list(TRANSFORM ARG_USES PREPEND tidewire_)
  target_link_libraries(tidewire_${folder} PUBLIC ${ARG_USES})
endfunction()
