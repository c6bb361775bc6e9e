# Warnings, sanitizers and the compiler cache, applied to every target of the project.

set(KESU_SANITIZE "" CACHE STRING "Sanitizers to build with: empty, 'address,undefined' or 'thread'")

find_program(KESU_CCACHE ccache)
if(KESU_CCACHE)
  set(CMAKE_C_COMPILER_LAUNCHER ${KESU_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${KESU_CCACHE})
endif()

# Our own code; third-party targets (GoogleTest built from source) do not get these.
add_library(kesu_warnings INTERFACE)
target_compile_options(kesu_warnings INTERFACE -Wall -Wextra)

if(KESU_SANITIZE)
  add_compile_options(-fsanitize=${KESU_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${KESU_SANITIZE})
endif()
