# Libraries from outside the project, each set up once for every component:
#   fennor_node_api        Node-API's C declarations (node_api.h, js_native_api.h), from node_modules
#   fennor_node_addon_api  node-addon-api in its exception mode, for Node-API version 6: HostShim
#                          exports nothing newer, so nothing newer may be used.
#   fennor_rapidjson       RapidJSON (header-only, Debian's rapidjson-dev)
# The npm packages are pinned in package.json.
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

# RapidJSON lives in /usr/include, which must not enter a cross compiler's search path as a whole
# (Linux headers would shadow the mingw ones): only its own folder is exposed, through a link.
if(NOT EXISTS /usr/include/rapidjson/document.h)
  message(FATAL_ERROR "RapidJSON is missing: run tools/bootstrap (Debian rapidjson-dev)")
endif()
set(fennor_rapidjson_include "${CMAKE_BINARY_DIR}/_deps/rapidjson-include")
if(NOT EXISTS "${fennor_rapidjson_include}/rapidjson")
  file(MAKE_DIRECTORY "${fennor_rapidjson_include}")
  file(CREATE_LINK /usr/include/rapidjson "${fennor_rapidjson_include}/rapidjson" SYMBOLIC)
endif()
add_library(fennor_rapidjson INTERFACE)
target_include_directories(fennor_rapidjson SYSTEM INTERFACE "${fennor_rapidjson_include}")
