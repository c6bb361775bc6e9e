# kesu_payload_sources(OUT_VAR CORE target CORE_FILE path [HELPERS target=path...]
#                      RUNTIME files... MODELS name=file...)
# HELPERS are programs of this build that travel beside the core (the path spelled out as for
# CORE_FILE).
# Sources that link the given files into an executable verbatim, with a table of them
# (embedded_payloads()). The bytes go in through the assembler's .incbin: no generated C arrays,
# so even tens of megabytes cost only a link. Missing model files are skipped.
enable_language(ASM)

function(kesu_payload_sources out_var)
  cmake_parse_arguments(ARG "" "CORE;CORE_FILE" "HELPERS;RUNTIME;MODELS" ${ARGN})
  set(gen ${CMAKE_CURRENT_BINARY_DIR}/payloads)
  if(WIN32)
    set(section ".section .rdata,\"dr\"")
  else()
    set(section ".section .rodata")
  endif()

  set(asm "${section}\n")
  set(decls "")
  set(rows "")
  set(deps "")
  set(index 0)
  macro(add_payload name kind file)
    set(sym kesu_payload_${index})
    string(APPEND asm ".balign 16\n.globl ${sym}_begin\n${sym}_begin:\n.incbin \"${file}\"\n"
                      ".globl ${sym}_end\n${sym}_end:\n")
    string(APPEND decls "extern \"C\" const unsigned char ${sym}_begin[];\n"
                        "extern \"C\" const unsigned char ${sym}_end[];\n")
    string(APPEND rows "    {\"${name}\", kesu::shell::PayloadKind::${kind}, "
                       "{${sym}_begin, static_cast<std::size_t>(${sym}_end - ${sym}_begin)}},\n")
    list(APPEND deps "${file}")
    math(EXPR index "${index} + 1")
  endmacro()

  add_payload("$<TARGET_FILE_NAME:${ARG_CORE}>" CoreLibrary "$<TARGET_FILE:${ARG_CORE}>")
  # OBJECT_DEPENDS takes no generator expressions: the core's path is spelled out by the caller.
  list(REMOVE_AT deps -1)
  list(APPEND deps "${ARG_CORE_FILE}")
  foreach(entry IN LISTS ARG_HELPERS)
    string(REGEX MATCH "^([^=]+)=(.*)$" _ "${entry}")
    add_payload("$<TARGET_FILE_NAME:${CMAKE_MATCH_1}>" Runtime "$<TARGET_FILE:${CMAKE_MATCH_1}>")
    list(REMOVE_AT deps -1)
    list(APPEND deps "${CMAKE_MATCH_2}")
  endforeach()
  foreach(file IN LISTS ARG_RUNTIME)
    if(NOT EXISTS ${file})
      message(FATAL_ERROR "${file} is missing: run scripts/install-deps.sh")
    endif()
    get_filename_component(name ${file} NAME)
    add_payload("${name}" Runtime "${file}")
  endforeach()
  foreach(entry IN LISTS ARG_MODELS)
    string(REGEX MATCH "^([^=]+)=(.*)$" _ "${entry}")
    if(EXISTS "${CMAKE_MATCH_2}")
      add_payload("${CMAKE_MATCH_1}" Model "${CMAKE_MATCH_2}")
    else()
      message(STATUS "Payload ${CMAKE_MATCH_1} skipped: ${CMAKE_MATCH_2} not found")
    endif()
  endforeach()
  if(NOT WIN32)
    string(APPEND asm ".section .note.GNU-stack,\"\",@progbits\n")
  endif()

  file(GENERATE OUTPUT ${gen}/payload_data.S CONTENT "${asm}")
  file(GENERATE OUTPUT ${gen}/payload_table.cpp CONTENT
"// Generated: the payloads linked into this executable.
#include <cstddef>
#include \"main/payloads.h\"

${decls}
std::span<const kesu::shell::Payload> kesu::shell::embedded_payloads() {
  static const Payload table[] = {
${rows}  };
  return table;
}
")
  # .incbin inputs are invisible to the compiler's dependency scan (and to ccache).
  set_source_files_properties(${gen}/payload_data.S PROPERTIES OBJECT_DEPENDS "${deps}")
  set(${out_var} ${gen}/payload_data.S ${gen}/payload_table.cpp PARENT_SCOPE)
endfunction()
