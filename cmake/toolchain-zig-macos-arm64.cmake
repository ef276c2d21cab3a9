# Cross build for macOS 12 on arm64 with the zig compiler from node_modules (compile and link only;
# nothing built here can run on this machine).
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(CMAKE_OSX_DEPLOYMENT_TARGET 12.0)
set(CMAKE_OSX_ARCHITECTURES arm64)

set(_zig_wrappers "${CMAKE_CURRENT_LIST_DIR}/zig")
set(CMAKE_C_COMPILER "${_zig_wrappers}/zig-cc")
set(CMAKE_CXX_COMPILER "${_zig_wrappers}/zig-c++")
set(CMAKE_AR "${_zig_wrappers}/zig-ar" CACHE FILEPATH "")
set(CMAKE_RANLIB "${_zig_wrappers}/zig-ranlib" CACHE FILEPATH "")
# zig's linker does not sign in the way CMake's install step expects and has no install_name_tool.
set(CMAKE_BUILD_WITH_INSTALL_RPATH ON)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
