# orloclient-addon.node: the module PlenxConnectorNative (registration, exports, the OrloApi class,
# the client error codes), its script tests and its benchmark.
#
# Node-API comes from HostShim.dll (never from node.exe), the client functions from OrloApi.dll (the
# simulator's import library stands in for the vendor's) and the allocator through orlo_bridge.

add_library(orloclient-addon MODULE
  "${CMAKE_CURRENT_SOURCE_DIR}/Module.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/OrloApiImpl.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/EnvironmentData.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/ErrorCodes.cpp"
  "${CMAKE_CURRENT_SOURCE_DIR}/Utf16Text.cpp")
set_target_properties(orloclient-addon PROPERTIES
  PREFIX ""
  SUFFIX ".node"
  LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
target_include_directories(orloclient-addon PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
target_compile_options(orloclient-addon PRIVATE -Wall -Wextra)
target_link_libraries(orloclient-addon PRIVATE
  orlo_bridge hostshim_imports fennor_node_addon_api orloapi_sim)

install(TARGETS orloclient-addon LIBRARY DESTINATION "${FENNOR_DIST_DIR}")
install(FILES "${CMAKE_CURRENT_SOURCE_DIR}/orloclient-addon.d.ts" DESTINATION "${FENNOR_DIST_DIR}")

# Script tests: node.exe loads the addon from bin/ (its folder is searched for HostShim.dll); the
# client simulator and the allocator live in bin/sim, which Wine adds to the Windows PATH.
if(FENNOR_CAN_RUN_TARGETS)
  string(REPLACE "/" "\\" _fennor_sim_dir "Z:${CMAKE_BINARY_DIR}/bin/sim")
  foreach(script exports orloapi_state sign_in handles worker hostile hostile_inputs)
    fennor_add_node_test(addon.${script} "${CMAKE_CURRENT_SOURCE_DIR}/tests/${script}.js"
      ENVIRONMENT
        "WINEPATH=${_fennor_sim_dir}"
        "ORLOCLIENT_ADDON=${CMAKE_BINARY_DIR}/bin/orloclient-addon.node"
      LABELS addon)
  endforeach()
endif()

# Imports: Node-API from HostShim, the client and the allocator libraries, system DLLs; nothing else.
fennor_check_windows_imports(orloclient-addon
  ALLOWED HostShim.dll OrloApi.dll KestrineAllocator.dll)

# The built file: its single export and the order of its load-time initializers.
string(REGEX REPLACE "objdump$" "nm" _fennor_nm "${FENNOR_OBJDUMP}")
add_test(NAME orloclient-addon.binary
  COMMAND "${CMAKE_COMMAND}" -DADDON=$<TARGET_FILE:orloclient-addon> -DOBJDUMP=${FENNOR_OBJDUMP}
          -DNM=${_fennor_nm} -P "${CMAKE_CURRENT_SOURCE_DIR}/tests/CheckAddonBinary.cmake")

if(FENNOR_CAN_RUN_TARGETS)
  add_library(crt_order_probe SHARED
    "${CMAKE_CURRENT_SOURCE_DIR}/tests/CrtOrderProbeLate.cpp"
    "${CMAKE_CURRENT_SOURCE_DIR}/tests/CrtOrderProbeEarly.cpp")
  target_compile_definitions(crt_order_probe PRIVATE CRT_ORDER_PROBE_BUILDING)
  fennor_add_gtest(crt_order_tests
    SOURCES "${CMAKE_CURRENT_SOURCE_DIR}/tests/CrtOrder_test.cpp"
    LIBRARIES crt_order_probe)
  target_include_directories(crt_order_tests PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}/tests")
endif()

# Benchmark baseline (not a test): addon/bench/run-is-running.
add_library(is_running_baseline MODULE EXCLUDE_FROM_ALL
  "${CMAKE_CURRENT_SOURCE_DIR}/bench/IsRunningBaseline.cpp")
set_target_properties(is_running_baseline PROPERTIES
  PREFIX ""
  SUFFIX ".node"
  LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
target_link_libraries(is_running_baseline PRIVATE hostshim_imports fennor_node_addon_api)
add_library(orloapi_bench_client SHARED EXCLUDE_FROM_ALL
  "${CMAKE_CURRENT_SOURCE_DIR}/bench/BenchClient.cpp")
target_include_directories(orloapi_bench_client PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
set_target_properties(orloapi_bench_client PROPERTIES
  OUTPUT_NAME OrloApi
  PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin/bench-client"
  ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/lib/bench-client")
