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
  "${CMAKE_CURRENT_SOURCE_DIR}/LogFilter.cpp")

add_library(orlo_bridge_core_static STATIC ${ORLO_BRIDGE_CORE_SOURCES})
target_include_directories(orlo_bridge_core_static PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}")
target_link_libraries(orlo_bridge_core_static PUBLIC kestrine_allocator_static)

if(FENNOR_CAN_RUN_TARGETS)
  fennor_add_gtest(orlo_bridge_tests
    SOURCES
      tests/RefString_test.cpp
      tests/LogFilter_test.cpp
      tests/AllocatorStandIn_test.cpp
      tests/BridgeText_test.cpp
    LIBRARIES orlo_bridge_core_static)
endif()

if(WIN32)
  # The bridge as the addon links it: Node-API through node-addon-api, the registry library, and the
  # allocator library by import.
  add_library(orlo_bridge STATIC
    ${ORLO_BRIDGE_CORE_SOURCES}
    JsLogger.cpp
    RegistryFunctions.cpp)
  target_include_directories(orlo_bridge PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}"
    PRIVATE "${CMAKE_SOURCE_DIR}/registry")
  target_link_libraries(orlo_bridge PUBLIC fennor_node_addon_api fennor_registry KestrineAllocator)
endif()

if(NOT WIN32 AND NOT APPLE)
  # Share counts under ThreadSanitizer: RefString and the allocator stand-in compiled with it too.
  fennor_add_gtest(orlo_bridge_tsan_tests
    SOURCES
      tests/RefStringThreads_test.cpp
      RefString.cpp
      "${CMAKE_SOURCE_DIR}/standins/allocator/KestrineAllocator.cpp")
  target_include_directories(orlo_bridge_tsan_tests PRIVATE
    "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_SOURCE_DIR}/standins/allocator")
  target_compile_definitions(orlo_bridge_tsan_tests PRIVATE KESTRINE_ALLOCATOR_STATIC)
  target_compile_options(orlo_bridge_tsan_tests PRIVATE -fsanitize=thread -g -O1)
  target_link_options(orlo_bridge_tsan_tests PRIVATE -fsanitize=thread)
endif()
