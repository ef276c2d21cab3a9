// A Node-API module that takes all its Node-API functions from HostShim.dll, to show that the DLL
// binds them to whichever executable hosts node: node.exe or a copy with another name.

#include <node_api.h>

#include "LoaderLock.h"
#include "RunAtLoad.h"

namespace {

bool registeredUnderLoaderLock = false;

// Any failed Node-API call becomes a script exception, so that a test sees it.
bool Check(napi_env env, napi_status status, const char* call) {
  if (status == napi_ok) return true;
  bool pending = false;
  napi_is_exception_pending(env, &pending);
  if (!pending) napi_throw_error(env, nullptr, call);
  return false;
}

bool DoubleArgument(napi_env env, napi_callback_info info, double* value) {
  size_t argc = 1;
  napi_value argv[1];
  if (!Check(env, napi_get_cb_info(env, info, &argc, argv, nullptr, nullptr), "napi_get_cb_info"))
    return false;
  if (argc < 1) {
    napi_throw_type_error(env, nullptr, "a number is required");
    return false;
  }
  return Check(env, napi_get_value_double(env, argv[0], value), "napi_get_value_double");
}

// The double crosses HostShim in a floating-point register; on the process's first call of
// napi_create_double that is also the call that binds the function to the host.
napi_value CreateDouble(napi_env env, napi_callback_info info) {
  double value = 0;
  napi_value result = nullptr;
  if (!DoubleArgument(env, info, &value)) return nullptr;
  if (!Check(env, napi_create_double(env, value, &result), "napi_create_double")) return nullptr;
  return result;
}

napi_value CreateDate(napi_env env, napi_callback_info info) {
  double time = 0;
  napi_value result = nullptr;
  if (!DoubleArgument(env, info, &time)) return nullptr;
  if (!Check(env, napi_create_date(env, time, &result), "napi_create_date")) return nullptr;
  return result;
}

napi_value Init(napi_env env, napi_value exports) {
  napi_value underLock = nullptr;
  if (!Check(env, napi_get_boolean(env, registeredUnderLoaderLock, &underLock), "napi_get_boolean"))
    return nullptr;
  const napi_property_descriptor properties[] = {
      {"createDouble", nullptr, CreateDouble, nullptr, nullptr, nullptr, napi_enumerable, nullptr},
      {"createDate", nullptr, CreateDate, nullptr, nullptr, nullptr, napi_enumerable, nullptr},
      {"registeredUnderLoaderLock", nullptr, nullptr, nullptr, nullptr, underLock, napi_enumerable,
       nullptr},
  };
  if (!Check(env,
             napi_define_properties(env, exports, sizeof properties / sizeof properties[0],
                                    properties),
             "napi_define_properties"))
    return nullptr;
  return exports;
}

napi_module hostshimAddonModule = {1,
                                   0,
                                   "hostshim_addon.cc",
                                   Init,
                                   "hostshim_addon",
                                   nullptr,
                                   {nullptr, nullptr, nullptr, nullptr}};

void RegisterModule() {
  registeredUnderLoaderLock = LoaderLockHeldByThisThread();
  napi_module_register(&hostshimAddonModule);
}
HOSTSHIM_RUN_AT_LOAD(RegisterModule);

}  // namespace
