// Steady-state cost of Node-API calls made through HostShim.dll, against the same calls imported
// straight from node.exe. This one source is built twice (CMakeLists.txt), differing only in the
// import library that its Node-API imports come from.

#include <node_api.h>
#include <windows.h>

#include <cstdint>

#include "../tests/RunAtLoad.h"

namespace {

// Three of the cheapest calls, allocating nothing: a forwarding cost is as large a share as it
// can be.
bool CheapCalls(napi_env env, napi_value number, int64_t iterations) {
  double sum = 0;
  for (int64_t i = 0; i < iterations; ++i) {
    napi_value undefined = nullptr;
    napi_valuetype type = napi_number;
    double value = 0;
    if (napi_get_undefined(env, &undefined) != napi_ok ||
        napi_typeof(env, undefined, &type) != napi_ok || type != napi_undefined ||
        napi_get_value_double(env, number, &value) != napi_ok) {
      return false;
    }
    sum += value;
  }
  return sum > 0;
}

// What a binding does more often: values made in a handle scope of their own.
bool ScopedCalls(napi_env env, napi_value /*number*/, int64_t iterations) {
  for (int64_t i = 0; i < iterations; ++i) {
    napi_handle_scope scope = nullptr;
    napi_value undefined = nullptr;
    napi_value created = nullptr;
    napi_valuetype type = napi_number;
    if (napi_open_handle_scope(env, &scope) != napi_ok ||
        napi_get_undefined(env, &undefined) != napi_ok ||
        napi_typeof(env, undefined, &type) != napi_ok ||
        napi_create_double(env, static_cast<double>(i), &created) != napi_ok ||
        napi_close_handle_scope(env, scope) != napi_ok) {
      return false;
    }
  }
  return true;
}

// f(iterations): runs the loop and answers nanoseconds per iteration (QueryPerformanceCounter).
template <bool (*Loop)(napi_env, napi_value, int64_t)>
napi_value Time(napi_env env, napi_callback_info info) {
  size_t argc = 1;
  napi_value argv[1];
  int64_t iterations = 0;
  if (napi_get_cb_info(env, info, &argc, argv, nullptr, nullptr) != napi_ok || argc < 1 ||
      napi_get_value_int64(env, argv[0], &iterations) != napi_ok || iterations <= 0) {
    napi_throw_type_error(env, nullptr, "the argument must be a positive number of iterations");
    return nullptr;
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const bool ok = Loop(env, argv[0], iterations);
  QueryPerformanceCounter(&end);
  if (!ok) {
    napi_throw_error(env, nullptr, "a Node-API call failed in the loop");
    return nullptr;
  }
  const double nanoseconds = static_cast<double>(end.QuadPart - start.QuadPart) * 1e9 /
                             static_cast<double>(frequency.QuadPart);
  napi_value result = nullptr;
  napi_create_double(env, nanoseconds / static_cast<double>(iterations), &result);
  return result;
}

napi_value Init(napi_env env, napi_value exports) {
  const napi_property_descriptor properties[] = {
      {"cheapCalls", nullptr, Time<CheapCalls>, nullptr, nullptr, nullptr, napi_enumerable,
       nullptr},
      {"scopedCalls", nullptr, Time<ScopedCalls>, nullptr, nullptr, nullptr, napi_enumerable,
       nullptr},
  };
  if (napi_define_properties(env, exports, 2, properties) != napi_ok) return nullptr;
  return exports;
}

napi_module benchModule = {1,
                           0,
                           "hostshim_bench.cc",
                           Init,
                           "hostshim_bench",
                           nullptr,
                           {nullptr, nullptr, nullptr, nullptr}};

void RegisterModule() { napi_module_register(&benchModule); }
HOSTSHIM_RUN_AT_LOAD(RegisterModule);

}  // namespace
