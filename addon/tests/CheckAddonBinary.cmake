# Checks the built addon file (cmake -P, run by ctest):
#  - it exports exactly one symbol, the host's registration pointer _register_PlenxConnectorNative_;
#  - the logger bridge's initializer and that pointer both sit in the C runtime's initializer table,
#    the bridge's first, so the bridge exists before the module registers.
# Arguments: -DADDON=<file> -DOBJDUMP=<objdump> -DNM=<nm>
foreach(var ADDON OBJDUMP NM)
  if(NOT ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

execute_process(COMMAND "${OBJDUMP}" -p "${ADDON}" OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p failed on ${ADDON}")
endif()
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)*" table "${headers}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${table}")
set(exports "")
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${row}")
  list(APPEND exports "${name}")
endforeach()
if(NOT exports STREQUAL "_register_PlenxConnectorNative_")
  message(FATAL_ERROR "exports are [${exports}], expected only _register_PlenxConnectorNative_")
endif()

execute_process(COMMAND "${NM}" "${ADDON}" OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${ADDON}")
endif()
# Addresses are fixed-width hexadecimal, so comparing them as text orders them.
set(order "")
foreach(symbol __xc_a orloclientConstructLoggerBridge _register_PlenxConnectorNative_ __xc_z)
  if(NOT symbols MATCHES "([0-9a-f]+) [A-Za-z] ${symbol}\n")
    message(FATAL_ERROR "symbol ${symbol} not found in ${ADDON}")
  endif()
  set(address_${symbol} "${CMAKE_MATCH_1}")
  list(APPEND order "${symbol}=${CMAKE_MATCH_1}")
endforeach()
if(NOT (address___xc_a STRLESS address_orloclientConstructLoggerBridge AND
        address_orloclientConstructLoggerBridge STRLESS address__register_PlenxConnectorNative_ AND
        address__register_PlenxConnectorNative_ STRLESS address___xc_z))
  message(FATAL_ERROR "initializer table out of order: ${order}")
endif()
message(STATUS "exports: ${exports}; initializers: ${order}")
