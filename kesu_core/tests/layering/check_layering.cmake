# Proves that the folder views enforce the layering: within the view of `util` (the bottom
# folder) its own header compiles and a header of a higher folder is not found.
# Run with -DCXX=<compiler> -DVIEW=<layers/util> -DINCLUDE=<public include dir> -DWORK=<dir>.
file(MAKE_DIRECTORY ${WORK})
function(try_include header expect_ok)
  file(WRITE ${WORK}/probe.cpp "#include \"${header}\"\nint main() { return 0; }\n")
  execute_process(
    COMMAND ${CXX} -std=c++20 -fsyntax-only -I${VIEW} -I${INCLUDE} ${WORK}/probe.cpp
    RESULT_VARIABLE code ERROR_VARIABLE err)
  if(expect_ok AND NOT code EQUAL 0)
    message(FATAL_ERROR "'${header}' should compile within the view of util:\n${err}")
  endif()
  if(NOT expect_ok)
    if(code EQUAL 0)
      message(FATAL_ERROR "'${header}' compiled within the view of util: the layering is not enforced")
    endif()
    if(NOT err MATCHES "No such file")
      message(FATAL_ERROR "'${header}' failed for another reason than not being visible:\n${err}")
    endif()
  endif()
  message(STATUS "${header}: ${code}")
endfunction()
try_include("util/utf8.h" TRUE)
try_include("pipeline/worker.h" FALSE)
try_include("config/config_record.h" FALSE)
