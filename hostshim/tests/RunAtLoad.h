#pragma once

// Runs `function` from the DLL's static initialisers, the way MSVC builds of NAPI_MODULE register a
// module: a pointer in .CRT$XCU, which the C runtime calls while the loader attaches the DLL,
// loader lock held. A module that calls napi_module_register from there makes its first Node-API
// call at the hardest moment for HostShim to bind it.
#define HOSTSHIM_RUN_AT_LOAD(function) \
  __attribute__((used, section(".CRT$XCU"))) static void (*function##AtLoad)() = function
