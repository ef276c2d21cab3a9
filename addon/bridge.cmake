# RefString, the logger bridge and the registry functions for script (library orlo_bridge), their
# tests and benchmarks.
#
# The Node-API-free core (RefString and the log filter) also builds on the host preset, over the
# allocator stand-in linked in, so it is unit-tested and sanitized natively.

if(NOT TARGET kestrine_allocator_static)
  add_subdirectory("${CMAKE_SOURCE_DIR}/standins/allocator"
    "${CMAKE_BINARY_DIR}/standins/allocator")
endif()

set(ORLO_BRIDGE_CORE_SOURCES
  "${CMAKE_CURRENT_SOURCE_DIR}/RefString.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/LogFilter.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/SharedLogFilter.cpp")

add_library(orlo_bridge_core_static STATIC ${ORLO_BRIDGE_CORE_SOURCES})
target_include_directories(orlo_bridge_core_static PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}")
target_link_libraries(orlo_bridge_core_static PUBLIC kestrine_allocator_static)
target_compile_options(orlo_bridge_core_static PRIVATE -Wall -Wextra)

if(FENNOR_CAN_RUN_TARGETS)
  fennor_add_gtest(orlo_bridge_tests
    SOURCES
      tests/RefString_test.cpp
      tests/LogFilter_test.cpp
      tests/SharedLogFilter_test.cpp
      tests/LoggerSlot_test.cpp
      tests/LoggerSlotThreads_test.cpp
      tests/AllocatorStandIn_test.cpp
      tests/BridgeText_test.cpp
    LIBRARIES orlo_bridge_core_static)
endif()

if(WIN32)
  # The bridge as the addon links it: the logger half (Node-API through node-addon-api, the allocator
  # library by import) and the registry functions over the registry library.
  add_library(orlo_bridge_logger STATIC ${ORLO_BRIDGE_CORE_SOURCES}
    JsLogger.cpp LoggerSettings.cpp LoggerInstallation.cpp LoggerDelivery.cpp)
  target_include_directories(orlo_bridge_logger PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}")
  target_link_libraries(orlo_bridge_logger PUBLIC fennor_node_addon_api KestrineAllocator)
  target_compile_options(orlo_bridge_logger PRIVATE -Wall -Wextra)

  add_library(orlo_bridge STATIC RegistryFunctions.cpp)
  target_include_directories(orlo_bridge PRIVATE "${CMAKE_SOURCE_DIR}/registry")
  target_link_libraries(orlo_bridge PUBLIC orlo_bridge_logger fennor_registry)
  target_compile_options(orlo_bridge PRIVATE -Wall -Wextra)
endif()

if(NOT WIN32 AND NOT APPLE)
  # Share counts under ThreadSanitizer: RefString and the allocator stand-in compiled with it too.
  fennor_add_gtest(orlo_bridge_tsan_tests
    SOURCES
      tests/RefStringThreads_test.cpp
      tests/LoggerSlotThreads_test.cpp
      tests/SharedLogFilterThreads_test.cpp
      RefString.cpp
      LogFilter.cpp
      SharedLogFilter.cpp
      "${CMAKE_SOURCE_DIR}/standins/allocator/KestrineAllocator.cpp")
  target_include_directories(orlo_bridge_tsan_tests PRIVATE
    "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_SOURCE_DIR}/standins/allocator")
  target_compile_definitions(orlo_bridge_tsan_tests PRIVATE KESTRINE_ALLOCATOR_STATIC)
  target_compile_options(orlo_bridge_tsan_tests PRIVATE -fsanitize=thread -g -O1)
  target_link_options(orlo_bridge_tsan_tests PRIVATE -fsanitize=thread)
endif()

# Benchmarks: programs that print ratios against a baseline of the same run; not tests.
if(NOT WIN32 AND NOT APPLE)
  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    add_executable(refstring_copy_bench bench/RefStringCopyBench.cpp)
    target_link_libraries(refstring_copy_bench PRIVATE orlo_bridge_core_static benchmark::benchmark)
  endif()
endif()

if(WIN32 AND TARGET hostshim_imports)
  # The logger bridge benchmark's addon: the bridge linked the way the module links it. Run with
  # logger_bench.js (see BRIDGE.md).
  add_library(orlo_bridge_logger_bench MODULE bench/LoggerBench.cpp)
  set_target_properties(orlo_bridge_logger_bench PROPERTIES PREFIX "" SUFFIX ".node")
  target_link_libraries(orlo_bridge_logger_bench PRIVATE orlo_bridge_logger hostshim_imports)
endif()

# Script tests of the logger bridge and the registry functions run against the module, which
# module.cmake defines after this file: they are registered once the whole directory is read.
function(orlo_bridge_add_script_tests)
  if(NOT TARGET orloclient-addon OR NOT FENNOR_CAN_RUN_TARGETS)
    return()
  endif()
  string(REPLACE "/" "\\" sim_dir "Z:${CMAKE_BINARY_DIR}/bin/sim")
  foreach(script logger registry_functions)
    fennor_add_node_test(bridge.${script} "${CMAKE_CURRENT_SOURCE_DIR}/tests/${script}.js"
      ENVIRONMENT
        "WINEPATH=${sim_dir}"
        "ORLOCLIENT_ADDON=${CMAKE_BINARY_DIR}/bin/orloclient-addon.node"
      LABELS bridge)
  endforeach()
  # Writes the one region code value that the registry library's region tests also write.
  set_property(TEST bridge.registry_functions PROPERTY RESOURCE_LOCK kestrine-region-code)
endfunction()
cmake_language(DEFER CALL orlo_bridge_add_script_tests)
