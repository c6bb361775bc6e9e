# kesu_add_test(NAME SOURCES ... LIBS ... LABELS ... [PCH_FROM test] [PROPERTIES prop value ...])
# PCH_FROM reuses another test program's precompiled header (same compile flags required): each
# one is well over 100 MB.
# One GoogleTest program. Natively each test case is its own CTest test; in the Windows build the
# program runs once under Wine (CMAKE_CROSSCOMPILING_EMULATOR), which is far cheaper there.
include(GoogleTest)

function(kesu_add_test name)
  cmake_parse_arguments(ARG "" "PCH_FROM" "SOURCES;LIBS;LABELS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} kesu_gtest kesu_warnings kesu_version)
  if(ARG_PCH_FROM)
    target_precompile_headers(${name} REUSE_FROM ${ARG_PCH_FROM})
  else()
    target_precompile_headers(${name} PRIVATE <gtest/gtest.h> <nlohmann/json.hpp>)
  endif()
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES LABELS "wine;${ARG_LABELS}" TIMEOUT 300 ${ARG_PROPERTIES})
  else()
    gtest_discover_tests(${name} PROPERTIES LABELS "${ARG_LABELS}" ${ARG_PROPERTIES}
      DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
