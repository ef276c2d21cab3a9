# Fuzz targets (libFuzzer), built only when FENNOR_FUZZ is on (the fuzz preset). Each component keeps
# its fuzz targets and their seed corpora in <component>/fuzz; the root adds that folder.
#
# fennor_add_fuzzer(<name> SOURCES ... [LIBRARIES ...] CORPUS <seed folder>)
# Builds <name> with libFuzzer's main and registers the test fuzz.<name>: a short run over a copy of
# the seeds (the seeds themselves stay clean), FENNOR_FUZZ_SECONDS long. tools/fuzz runs the same
# targets for longer over a corpus kept in the build tree.

set(FENNOR_FUZZ_SECONDS 60 CACHE STRING "Length of each fuzz target's run under ctest")
set(FENNOR_FUZZ_RUNNER "${CMAKE_CURRENT_LIST_DIR}/run-fuzzer.sh")

if(FENNOR_FUZZ AND NOT TARGET fennor_fuzzers)
  add_custom_target(fennor_fuzzers)
endif()

function(fennor_add_fuzzer name)
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT ARG_CORPUS OR NOT IS_DIRECTORY "${ARG_CORPUS}")
    message(FATAL_ERROR "fennor_add_fuzzer(${name}): CORPUS must name the seed folder")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fennor_fuzzers ${name})
  add_test(NAME fuzz.${name}
    COMMAND "${FENNOR_FUZZ_RUNNER}" "$<TARGET_FILE:${name}>" "${ARG_CORPUS}" "${FENNOR_FUZZ_SECONDS}"
            "${CMAKE_BINARY_DIR}/fuzz-artifacts")
  math(EXPR timeout "${FENNOR_FUZZ_SECONDS} + 120")
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT ${timeout})
endfunction()
