# cmake -P script: fails when a Windows binary imports a DLL that is neither a Windows system DLL
# nor one of the allowed ones. Registered as a test by fennor_check_windows_imports.
#
#   cmake -DOBJDUMP=<objdump> -DBINARY=<file> [-DALLOWED=a.dll,b.dll] -P CheckWindowsImports.cmake

cmake_minimum_required(VERSION 3.25)

if(NOT OBJDUMP OR NOT BINARY)
  message(FATAL_ERROR "usage: cmake -DOBJDUMP=<objdump> -DBINARY=<file> [-DALLOWED=a.dll,...] -P "
                      "${CMAKE_CURRENT_LIST_FILE}")
endif()
if(NOT EXISTS "${BINARY}")
  message(FATAL_ERROR "${BINARY} does not exist")
endif()

execute_process(
  COMMAND "${OBJDUMP}" -p "${BINARY}"
  OUTPUT_VARIABLE dump
  ERROR_VARIABLE dump_error
  RESULT_VARIABLE dump_result)
if(NOT dump_result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${BINARY} failed (${dump_result}): ${dump_error}")
endif()

# Ordinary imports ("DLL Name: x") and delay-loaded ones (listed the same way under the delay
# import table) both count: either way the file needs that DLL at run time.
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
set(imports "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^DLL Name: *" "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  list(APPEND imports "${dll}")
endforeach()
list(REMOVE_DUPLICATES imports)

set(system_dlls kernel32 advapi32 user32 shell32 crypt32 msvcrt ws2_32 ntdll ole32 bcrypt ucrtbase)
list(TRANSFORM system_dlls APPEND ".dll")
set(allowed "")
if(ALLOWED)
  string(REPLACE "," ";" allowed "${ALLOWED}")
  list(TRANSFORM allowed TOLOWER)
endif()

set(offenders "")
foreach(dll IN LISTS imports)
  if(dll IN_LIST system_dlls OR dll IN_LIST allowed OR dll MATCHES "^api-ms-win-")
    continue()
  endif()
  list(APPEND offenders "${dll}")
endforeach()

list(JOIN imports ", " import_text)
if(offenders)
  list(JOIN offenders ", " offender_text)
  message(FATAL_ERROR "${BINARY} imports DLLs that are neither system DLLs nor allowed: "
                      "${offender_text}\n(all imports: ${import_text})")
endif()
message(STATUS "${BINARY} imports only allowed DLLs: ${import_text}")
