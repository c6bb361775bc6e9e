# kesu_payload_sources(OUT_VAR CORE target CORE_FILE path [HELPERS target=path...]
#                      RUNTIME files... MODELS name=file...)
# HELPERS are programs of this build that travel beside the core (the path spelled out as for
# CORE_FILE).
# Sources that link the given files into an executable as gzip streams, with a table of them
# (embedded_payloads()). The bytes go in through the assembler's .incbin: no generated C arrays,
# so even tens of megabytes cost only a link. The core and the helpers are stripped first; their
# debug information stays beside the build as "{file}.debug" for crash analysis. Missing model
# files are skipped.
enable_language(ASM)
find_program(KESU_GZIP gzip REQUIRED)

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
  set(packed_files "")
  set(index 0)
  # strip_from: the target whose file this is, or empty for a file copied as it stands.
  macro(add_payload name kind file strip_from)
    set(sym kesu_payload_${index})
    set(packed ${gen}/packed/payload_${index})
    if(NOT "${strip_from}" STREQUAL "")
      add_custom_command(OUTPUT ${packed}.gz
        COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${file} ${file}.debug
        COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${file}.debug ${file} ${packed}
        COMMAND ${KESU_GZIP} -9 -n -f ${packed}
        DEPENDS ${strip_from} VERBATIM)
    else()
      add_custom_command(OUTPUT ${packed}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${file} ${packed}
        COMMAND ${KESU_GZIP} -9 -n -f ${packed}
        DEPENDS ${file} VERBATIM)
    endif()
    list(APPEND packed_files ${packed}.gz)
    string(APPEND asm ".balign 16\n.globl ${sym}_begin\n${sym}_begin:\n.incbin \"${packed}.gz\"\n"
                      ".globl ${sym}_end\n${sym}_end:\n")
    string(APPEND decls "extern \"C\" const unsigned char ${sym}_begin[];\n"
                        "extern \"C\" const unsigned char ${sym}_end[];\n")
    string(APPEND rows "    {\"${name}\", kesu::shell::PayloadKind::${kind}, "
                       "{${sym}_begin, static_cast<std::size_t>(${sym}_end - ${sym}_begin)}},\n")
    math(EXPR index "${index} + 1")
  endmacro()

  # OUTPUT and OBJECT_DEPENDS take no generator expressions: the core's and the helpers' paths
  # are spelled out by the caller.
  add_payload("$<TARGET_FILE_NAME:${ARG_CORE}>" CoreLibrary "${ARG_CORE_FILE}" ${ARG_CORE})
  foreach(entry IN LISTS ARG_HELPERS)
    string(REGEX MATCH "^([^=]+)=(.*)$" _ "${entry}")
    add_payload("$<TARGET_FILE_NAME:${CMAKE_MATCH_1}>" Runtime "${CMAKE_MATCH_2}" ${CMAKE_MATCH_1})
  endforeach()
  foreach(file IN LISTS ARG_RUNTIME)
    if(NOT EXISTS ${file})
      message(FATAL_ERROR "${file} is missing: run scripts/install-deps.sh")
    endif()
    get_filename_component(name ${file} NAME)
    add_payload("${name}" Runtime "${file}" "")
  endforeach()
  foreach(entry IN LISTS ARG_MODELS)
    string(REGEX MATCH "^([^=]+)=(.*)$" _ "${entry}")
    if(EXISTS "${CMAKE_MATCH_2}")
      add_payload("${CMAKE_MATCH_1}" Model "${CMAKE_MATCH_2}" "")
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
  set_source_files_properties(${gen}/payload_data.S PROPERTIES OBJECT_DEPENDS "${packed_files}")
  set(${out_var} ${gen}/payload_data.S ${gen}/payload_table.cpp ${packed_files} PARENT_SCOPE)
endfunction()
