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
