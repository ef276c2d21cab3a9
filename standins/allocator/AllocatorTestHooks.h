// TEST-ONLY hooks of the allocator stand-in. They exist only in the static build that unit tests and
// benchmarks link; KestrineAllocator.dll does not export them, so the addon cannot import them.
#pragma once

#include <cstdint>

namespace kestrine_allocator_test {

struct Counters {
  uint64_t liveBlocks;
  uint64_t liveBytes;
  uint64_t mallocCalls;
  uint64_t freeCalls;
  uint64_t lastMallocSize;
  uint64_t lastFreeSize;
};

Counters Snapshot();

// The next `count` calls of kestrineAllocator_malloc answer null, as a real allocator does when it
// runs out of memory.
void FailNextMallocs(uint32_t count);

}  // namespace kestrine_allocator_test
