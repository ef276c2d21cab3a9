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
