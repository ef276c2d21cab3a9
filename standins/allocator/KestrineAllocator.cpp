// Stand-in for the allocator library. It keeps every block it hands out with its size, so a caller
// that frees with another size, frees a block twice or frees one it never got is caught at once:
// such a caller would corrupt the real library's heap silently.
#include "KestrineAllocator.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

#include "AllocatorTestHooks.h"

namespace {

// The shared empty representation, in the RefString block layout: header of 24 bytes, then the
// terminator. It is const so that it lives in read-only memory: a caller that writes to it (for
// example by counting a share of it) faults instead of quietly changing it.
struct EmptyRep {
  int32_t refCount;
  uint32_t reserved;
  uint64_t capacity;
  uint64_t length;
  char characters[8];
};
alignas(8) const EmptyRep kEmptyRep = {0, 0, 0, 0, {}};

struct Heap {
  std::mutex mutex;
  std::unordered_map<void*, uint64_t> sizes;
  kestrine_allocator_test::Counters counters{};
  uint32_t failingMallocs = 0;
};

Heap& TheHeap() {
  static Heap* heap = new Heap;  // never destroyed: blocks may be freed during process exit
  return *heap;
}

[[noreturn]] void ReportMisuse(const char* what, void* block, uint64_t size, uint64_t expected) {
  std::fprintf(stderr,
               "KestrineAllocator stand-in: %s: block %p, size passed %" PRIu64
               ", size allocated %" PRIu64 "\n",
               what, block, size, expected);
  std::fflush(stderr);
  std::abort();
}

}  // namespace

extern "C" {

void* kestrineAllocator_malloc(uint64_t size) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> lock(heap.mutex);
  if (heap.failingMallocs > 0) {
    --heap.failingMallocs;
    return nullptr;
  }
  void* block = size <= SIZE_MAX ? std::malloc(size == 0 ? 1 : static_cast<size_t>(size)) : nullptr;
  if (!block) return nullptr;
  heap.sizes.emplace(block, size);
  heap.counters.liveBlocks++;
  heap.counters.liveBytes += size;
  heap.counters.mallocCalls++;
  heap.counters.lastMallocSize = size;
  return block;
}

void kestrineAllocator_free(void* block, uint64_t size) {
  Heap& heap = TheHeap();
  {
    std::lock_guard<std::mutex> lock(heap.mutex);
    if (block == &kEmptyRep) ReportMisuse("free of the shared empty representation", block, size, 0);
    auto found = heap.sizes.find(block);
    if (found == heap.sizes.end()) {
      ReportMisuse("free of a block that is not live (never allocated, or freed twice)", block, size,
                   0);
    }
    if (found->second != size) ReportMisuse("free with a wrong size", block, size, found->second);
    heap.sizes.erase(found);
    heap.counters.liveBlocks--;
    heap.counters.liveBytes -= size;
    heap.counters.freeCalls++;
    heap.counters.lastFreeSize = size;
  }
  std::free(block);
}

void* kestrineAllocator_getNullRefBuffer() { return const_cast<EmptyRep*>(&kEmptyRep); }

}  // extern "C"

namespace kestrine_allocator_test {

Counters Snapshot() {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> lock(heap.mutex);
  return heap.counters;
}

void FailNextMallocs(uint32_t count) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> lock(heap.mutex);
  heap.failingMallocs = count;
}

}  // namespace kestrine_allocator_test
