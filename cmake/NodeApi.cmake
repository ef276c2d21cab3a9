# Node-API headers from node_modules, pinned in package.json.
#   fennor_node_api        the C declarations (node_api.h, js_native_api.h)
#   fennor_node_addon_api  node-addon-api in its exception mode, for Node-API version 6: HostShim
#                          exports nothing newer, so nothing newer may be used.
add_library(fennor_node_api INTERFACE)
target_include_directories(fennor_node_api SYSTEM INTERFACE
  "${FENNOR_NODE_MODULES}/node-api-headers/include")
target_compile_definitions(fennor_node_api INTERFACE NAPI_VERSION=6)

add_library(fennor_node_addon_api INTERFACE)
target_include_directories(fennor_node_addon_api SYSTEM INTERFACE
  "${FENNOR_NODE_MODULES}/node-addon-api")
# NODE_API_SWALLOW_UNTHROWABLE_EXCEPTIONS: while an environment is torn down (a Worker terminated)
# the host refuses every throw, and node-addon-api would otherwise turn that refusal into a C++
# exception thrown out of the callback into the host, which ends the whole process.
target_compile_definitions(fennor_node_addon_api INTERFACE
  NAPI_CPP_EXCEPTIONS NODE_API_SWALLOW_UNTHROWABLE_EXCEPTIONS)
target_link_libraries(fennor_node_addon_api INTERFACE fennor_node_api)
