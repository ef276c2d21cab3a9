// A DLL that imports Node-API from HostShim.dll through its import library and registers a module
// at load time, for the fake host test: its load makes a first call through HostShim under the
// loader lock.

#include <node_api.h>

#include "RunAtLoad.h"

namespace {

napi_module probeModule = {1,
                           0,
                           "hostshim_probe.cc",
                           nullptr,
                           "hostshim_probe",
                           nullptr,
                           {nullptr, nullptr, nullptr, nullptr}};

void RegisterProbeModule() { napi_module_register(&probeModule); }
HOSTSHIM_RUN_AT_LOAD(RegisterProbeModule);

}  // namespace

extern "C" __declspec(dllexport) const napi_module* HostShimProbeModule() { return &probeModule; }
