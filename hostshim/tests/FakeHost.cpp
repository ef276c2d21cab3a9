#include "FakeHost.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "LoaderLock.h"

namespace fakehost {
namespace {

std::mutex mutex;
Registration registration;
std::vector<std::uint64_t> doubles;
std::vector<std::uint64_t> dates;
std::atomic<int> int32Calls{0};
std::atomic<int> uint32Calls{0};

std::uint64_t Bits(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

napi_env Env() { return reinterpret_cast<napi_env>(static_cast<std::uintptr_t>(0xFE11E5)); }

napi_value TokenFor(std::uint64_t value) {
  return reinterpret_cast<napi_value>(static_cast<std::uintptr_t>(value ^ 0x7000000000000000ull));
}

Registration Registrations() {
  std::lock_guard<std::mutex> lock(mutex);
  return registration;
}

std::vector<std::uint64_t> DoublesReceived() {
  std::lock_guard<std::mutex> lock(mutex);
  return doubles;
}

std::vector<std::uint64_t> DatesReceived() {
  std::lock_guard<std::mutex> lock(mutex);
  return dates;
}

int Int32Calls() { return int32Calls.load(); }
int Uint32Calls() { return uint32Calls.load(); }

}  // namespace fakehost

using fakehost::Env;
using fakehost::TokenFor;

// node_api.h declares these dllexport, so defining them here puts them into the test program's
// export table, where HostShim looks for them.

void NAPI_CDECL napi_module_register(napi_module* module) {
  // The loader lock is read before taking our own lock, which is irrelevant to it.
  const bool underLoaderLock = LoaderLockHeldByThisThread();
  std::lock_guard<std::mutex> lock(fakehost::mutex);
  ++fakehost::registration.calls;
  fakehost::registration.module = module;
  fakehost::registration.underLoaderLock = underLoaderLock;
}

napi_status NAPI_CDECL napi_create_double(napi_env env, double value, napi_value* result) {
  if (env != Env() || result == nullptr) return napi_invalid_arg;
  const std::uint64_t bits = fakehost::Bits(value);
  {
    std::lock_guard<std::mutex> lock(fakehost::mutex);
    fakehost::doubles.push_back(bits);
  }
  *result = TokenFor(bits);
  return napi_ok;
}

napi_status NAPI_CDECL napi_create_date(napi_env env, double time, napi_value* result) {
  if (env != Env() || result == nullptr) return napi_invalid_arg;
  const std::uint64_t bits = fakehost::Bits(time);
  {
    std::lock_guard<std::mutex> lock(fakehost::mutex);
    fakehost::dates.push_back(bits);
  }
  *result = TokenFor(bits);
  return napi_ok;
}

napi_status NAPI_CDECL napi_create_int32(napi_env env, int32_t value, napi_value* result) {
  if (env != Env() || result == nullptr) return napi_invalid_arg;
  ++fakehost::int32Calls;
  *result = TokenFor(static_cast<std::uint32_t>(value));
  return napi_ok;
}

napi_status NAPI_CDECL napi_create_uint32(napi_env env, uint32_t value, napi_value* result) {
  if (env != Env() || result == nullptr) return napi_invalid_arg;
  ++fakehost::uint32Calls;
  *result = TokenFor(value);
  return napi_ok;
}

napi_status NAPI_CDECL napi_get_boolean(napi_env env, bool value, napi_value* result) {
  if (env != Env() || result == nullptr) return napi_invalid_arg;
  *result = TokenFor(value ? 1 : 0);
  return napi_ok;
}
