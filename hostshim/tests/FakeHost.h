#pragma once

// The fake host executable: the test program itself exports a handful of Node-API functions with
// recording bodies and lacks all the others, so HostShim.dll, loaded into it, binds to these.

#include <node_api.h>

#include <cstdint>
#include <vector>

namespace fakehost {

// The environment every test passes; the fakes reject any other, which catches a mangled first
// argument.
napi_env Env();

// What the fake napi_create_* functions hand back for a value: a token the caller can check.
napi_value TokenFor(std::uint64_t value);

struct Registration {
  int calls = 0;
  const napi_module* module = nullptr;
  bool underLoaderLock = false;
};
Registration Registrations();

// Bit patterns of the doubles that napi_create_double and napi_create_date received, in order.
std::vector<std::uint64_t> DoublesReceived();
std::vector<std::uint64_t> DatesReceived();

int Int32Calls();
int Uint32Calls();

}  // namespace fakehost
