#include "FakeHostArgumentProbe.h"

#include <mutex>

namespace fakehost {
namespace {
std::mutex probeMutex;
ProbeArguments probeArguments;
}  // namespace

ProbeArguments ArgumentProbeReceived() {
  std::lock_guard<std::mutex> lock(probeMutex);
  return probeArguments;
}

}  // namespace fakehost

extern "C" __declspec(dllexport) double napi_adjust_external_memory(double xmm0, double xmm1,
                                                                    double xmm2, double xmm3,
                                                                    std::int64_t stack5,
                                                                    double stack6) {
  std::lock_guard<std::mutex> lock(fakehost::probeMutex);
  const int calls = fakehost::probeArguments.calls + 1;
  fakehost::probeArguments = {xmm0, xmm1, xmm2, xmm3, stack5, stack6, calls};
  // The result comes back in xmm0 too.
  return xmm0 + xmm1;
}

namespace fakehost {
ArgumentProbeFunction ArgumentProbeAddress() { return &napi_adjust_external_memory; }
}  // namespace fakehost
