# Third-party libraries, all installed by scripts/install-deps.sh.
#
# The header-only libraries come from Debian under /usr/include. The Windows build must not see
# /usr/include (it would pick up glibc headers), so both builds reach them through a folder that
# holds links to just those libraries.

set(KESU_DEPS_DIR ${CMAKE_SOURCE_DIR}/.deps CACHE PATH "Folder of the prebuilt dependencies")

set(KESU_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${KESU_HOST_HEADERS})
foreach(lib nlohmann toml++)
  if(NOT EXISTS /usr/include/${lib})
    message(FATAL_ERROR "/usr/include/${lib} is missing: run scripts/install-deps.sh")
  endif()
  if(NOT EXISTS ${KESU_HOST_HEADERS}/${lib})
    file(CREATE_LINK /usr/include/${lib} ${KESU_HOST_HEADERS}/${lib} SYMBOLIC)
  endif()
endforeach()

add_library(kesu_json INTERFACE)
target_include_directories(kesu_json SYSTEM INTERFACE ${KESU_HOST_HEADERS})

# GoogleTest: Debian's prebuilt libraries natively, built from Debian's source for Windows.
if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  add_library(kesu_gtest INTERFACE)
  target_link_libraries(kesu_gtest INTERFACE gtest_main gmock)
else()
  find_package(GTest REQUIRED)
  add_library(kesu_gtest INTERFACE)
  target_link_libraries(kesu_gtest INTERFACE GTest::gtest_main GTest::gmock)
endif()

# Prebuilt sherpa-onnx (C API + onnxruntime) and PortAudio. Their runtime libraries are copied
# next to our binaries, where the core's loader (and the test programs) find them. sherpa-onnx is
# not linked: the core opens it at run time from its own folder, so a missing or broken copy
# leaves the core running without models instead of failing to load.
set(KESU_RUNTIME_LIBS "")
if(WIN32)
  set(_sherpa ${KESU_DEPS_DIR}/sherpa-win)
  set(_portaudio ${KESU_DEPS_DIR}/naudiodon2/portaudio)
  # mingw's linker links directly against a DLL; the packages ship no import libraries.
  add_library(kesu_portaudio SHARED IMPORTED GLOBAL)
  set_target_properties(kesu_portaudio PROPERTIES
    IMPORTED_LOCATION ${_portaudio}/bin/portaudio_x64.dll
    IMPORTED_IMPLIB ${_portaudio}/bin/portaudio_x64.dll
    INTERFACE_INCLUDE_DIRECTORIES ${_portaudio}/include)
  list(APPEND KESU_RUNTIME_LIBS
    ${_sherpa}/sherpa-onnx-c-api.dll ${_sherpa}/onnxruntime.dll
    ${_sherpa}/onnxruntime_providers_shared.dll ${_portaudio}/bin/portaudio_x64.dll)
else()
  set(_sherpa ${KESU_DEPS_DIR}/sherpa-linux)
  find_library(KESU_PORTAUDIO_LIBRARY portaudio REQUIRED)
  add_library(kesu_portaudio UNKNOWN IMPORTED GLOBAL)
  set_target_properties(kesu_portaudio PROPERTIES IMPORTED_LOCATION ${KESU_PORTAUDIO_LIBRARY})
  list(APPEND KESU_RUNTIME_LIBS ${_sherpa}/libsherpa-onnx-c-api.so ${_sherpa}/libonnxruntime.so)
endif()
foreach(lib ${KESU_RUNTIME_LIBS})
  if(NOT EXISTS ${lib})
    message(FATAL_ERROR "${lib} is missing: run scripts/install-deps.sh")
  endif()
endforeach()
file(COPY ${KESU_RUNTIME_LIBS} DESTINATION ${CMAKE_BINARY_DIR}/bin)
