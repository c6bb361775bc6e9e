# The core's folders build as one object library each, and each sees only its own headers and
# those of the folders it declares it uses (and, through them, what those see). Folders are
# declared bottom-up and may only use folders declared before them, so an include of a higher
# folder, or two folders including each other, fails to build.
#
# A folder's sources are its *.cpp files; *_win.cpp and *_winhttp.cpp build only for Windows,
# *_posix.cpp and *_curl.cpp only elsewhere. Every header of a folder is also compiled within its own folder's view, so a header
# that no source of its folder includes cannot hide an upward include.

# The usage requirements every folder shares (third-party headers, definitions, warnings).
function(kesu_core_layers_begin src_dir)
  set_property(GLOBAL PROPERTY KESU_CORE_SRC ${src_dir})
  set_property(GLOBAL PROPERTY KESU_CORE_LAYERS "")
  set_property(GLOBAL PROPERTY KESU_CORE_FIRST_LAYER "")
endfunction()

function(kesu_core_layer name)
  cmake_parse_arguments(ARG "" "" "USES" ${ARGN})
  get_property(src GLOBAL PROPERTY KESU_CORE_SRC)

  set(sees ${name})
  foreach(dep IN LISTS ARG_USES)
    get_property(dep_sees GLOBAL PROPERTY KESU_CORE_LAYER_SEES_${dep})
    if(NOT dep_sees)
      message(FATAL_ERROR "core folder '${name}' uses '${dep}', which is not declared below it")
    endif()
    list(APPEND sees ${dep_sees})
  endforeach()
  list(REMOVE_DUPLICATES sees)
  set_property(GLOBAL PROPERTY KESU_CORE_LAYER_SEES_${name} ${sees})

  # The folder's view of the sources: a directory holding a link to each folder it may include.
  set(view ${CMAKE_CURRENT_BINARY_DIR}/layers/${name})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view})
  foreach(folder IN LISTS sees)
    file(CREATE_LINK ${src}/${folder} ${view}/${folder} SYMBOLIC)
  endforeach()

  file(GLOB sources CONFIGURE_DEPENDS ${src}/${name}/*.cpp)
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_(posix|curl)\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_(win|winhttp)\\.cpp$")
  endif()

  file(GLOB headers RELATIVE ${src} CONFIGURE_DEPENDS ${src}/${name}/*.h)
  set(header_check "// Generated: every header of the folder, compiled within its own view.\n")
  foreach(header IN LISTS headers)
    string(APPEND header_check "#include \"${header}\"\n")
  endforeach()
  set(header_check_file ${CMAKE_CURRENT_BINARY_DIR}/layers/${name}_headers.cpp)
  file(CONFIGURE OUTPUT ${header_check_file} CONTENT "${header_check}")

  add_library(kesu_core_${name} OBJECT ${sources} ${header_check_file})
  target_include_directories(kesu_core_${name} PRIVATE ${view})
  target_link_libraries(kesu_core_${name} PRIVATE kesu_core_layer_common)
  set_target_properties(kesu_core_${name} PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  # nlohmann/json dominates compile time: one precompiled header, built once, used by all.
  get_property(first GLOBAL PROPERTY KESU_CORE_FIRST_LAYER)
  if(first)
    target_precompile_headers(kesu_core_${name} REUSE_FROM ${first})
  else()
    target_precompile_headers(kesu_core_${name} PRIVATE <nlohmann/json.hpp> <string> <vector> <mutex>)
    set_property(GLOBAL PROPERTY KESU_CORE_FIRST_LAYER kesu_core_${name})
  endif()
  set_property(GLOBAL APPEND PROPERTY KESU_CORE_LAYERS kesu_core_${name})
endfunction()
