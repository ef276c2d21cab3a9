// The module PlenxConnectorNative: registration with the host while the addon loads, and the init
// that fills each environment's exports.
#include <napi.h>

#include "JsLogger.h"
#include "OrloApiImpl.h"
#include "RegistryFunctions.h"

namespace Kestrine {
namespace {

constexpr char kVersion[] = "0.0.1";

Napi::Object Init(Napi::Env env, Napi::Object exports) {
  OrloApiImpl::Init(env, exports);
  {
    Napi::HandleScope scope(env);
    // Unnamed on purpose: their `name` stays empty.
    exports.Set("registerProtocolHandler", Napi::Function::New<RegisterProtocolHandler>(env));
    exports.Set("isProtocolHandlerRegistered",
                Napi::Function::New<IsProtocolHandlerRegistered>(env));
    exports.Set("getWendraRegionCode", Napi::Function::New<GetWendraRegionCode>(env));
  }
  exports.DefineProperties({
      Napi::PropertyDescriptor::Value(
          "version", Napi::String::New(env, kVersion),
          static_cast<napi_property_attributes>(napi_enumerable | napi_configurable)),
      Napi::PropertyDescriptor::Accessor<JsLogger::GetLogger, JsLogger::SetLogger>("logger"),
  });
  return exports;
}

napi_value RegisterModule(napi_env env, napi_value exports) {
  return Napi::RegisterModule(env, exports, Init);
}

napi_module moduleDescriptor = {
    1,                       // nm_version
    0,                       // nm_flags
    __FILE_NAME__,           // nm_filename: diagnostic only, no build path in the binary
    RegisterModule,          // nm_register_func
    "PlenxConnectorNative",  // nm_modname
    nullptr,                 // nm_priv
    {nullptr, nullptr, nullptr, nullptr},
};

void RegisterWithHost() { napi_module_register(&moduleDescriptor); }

void ConstructLoggerBridge() { JsLogger::Instance(); }

}  // namespace
}  // namespace Kestrine

// The C runtime runs the initializer table .CRT$XCA..XCZ in section-name order while the DLL is
// attached. The logger bridge sits at XCT and the registration at XCU (where the host's own module
// macro puts it), so the bridge exists before any environment can initialize the module. Both run
// before the DLL's ordinary C++ static constructors: they may touch only constant-initialized data
// and what they construct on first use.
extern "C" {

__attribute__((section(".CRT$XCT"), used)) void (*orloclientConstructLoggerBridge)(void) =
    Kestrine::ConstructLoggerBridge;

// The one export of the addon: the host-compatible registration pointer.
__declspec(dllexport) __attribute__((section(".CRT$XCU"), used)) void (
    *_register_PlenxConnectorNative_)(void) = Kestrine::RegisterWithHost;

}  // extern "C"
