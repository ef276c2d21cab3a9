# orloclient-addon.node: the module PlenxConnectorNative (registration, exports, the OrloApi class and
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
  foreach(script exports orloapi_state sign_in handles worker hostile)
    fennor_add_node_test(addon.${script} "${CMAKE_CURRENT_SOURCE_DIR}/tests/${script}.js"
      ENVIRONMENT
        "WINEPATH=${_fennor_sim_dir}"
        "ORLOCLIENT_ADDON=${CMAKE_BINARY_DIR}/bin/orloclient-addon.node"
      LABELS addon)
  endforeach()
endif()
