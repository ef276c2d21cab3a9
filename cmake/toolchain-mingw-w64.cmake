# Cross build for Windows x64 with Debian's mingw-w64 (posix thread model: node-addon-api needs
# std::mutex, which the win32-model compilers lack).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_AR x86_64-w64-mingw32-ar CACHE FILEPATH "")
set(CMAKE_RANLIB x86_64-w64-mingw32-ranlib CACHE FILEPATH "")
set(FENNOR_DLLTOOL x86_64-w64-mingw32-dlltool CACHE FILEPATH "")
set(FENNOR_OBJDUMP x86_64-w64-mingw32-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every deliverable carries its own C and C++ runtime (and winpthread), so it imports system DLLs only.
set(_fennor_static "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_fennor_static}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_fennor_static}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_fennor_static}")
