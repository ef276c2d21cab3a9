#pragma once

// Kept free of node_api.h, which declares napi_adjust_external_memory with its real signature.

#include <cstdint>

namespace fakehost {

// The fake behind napi_adjust_external_memory does not have the Node-API signature: HostShim never
// looks at signatures, so this one takes an argument in each floating-point argument register and
// two on the stack, and records them (FakeHostArgumentProbe.cpp).
struct ProbeArguments {
  double xmm0 = 0, xmm1 = 0, xmm2 = 0, xmm3 = 0;
  std::int64_t stack5 = 0;
  double stack6 = 0;
  int calls = 0;
};
using ArgumentProbeFunction = double (*)(double, double, double, double, std::int64_t, double);
ProbeArguments ArgumentProbeReceived();
ArgumentProbeFunction ArgumentProbeAddress();

}  // namespace fakehost
