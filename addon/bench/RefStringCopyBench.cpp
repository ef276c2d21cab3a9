// RefString copy against std::string copy of the same 20-byte text, in one run.
//
// Two measures of each: the copy alone (a batch of copies made into raw storage, released with the
// clock paused) and a copy's whole life (copy, then release). Prints CPU time per copy (steadier than
// wall time on a shared machine), the std::string / RefString ratios, and the allocations per copy
// (RefString's through the allocator stand-in's counters, std::string's through a counting
// operator new).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>

#include "AllocatorTestHooks.h"
#include "RefString.h"

namespace {

// Plain, not atomic: the benchmarks run on one thread, and a locked add here would slow down the
// std::string side by about what it is compared against.
uint64_t g_newCalls = 0;

const char kText[] = "orloapi.session.auth";  // 20 bytes: past std::string's inline buffer
static_assert(sizeof(kText) == 21, "20 characters");
constexpr int kBatch = 512;

uint64_t RefStringAllocations() { return kestrine_allocator_test::Snapshot().mallocCalls; }
uint64_t StdStringAllocations() { return g_newCalls; }

template <typename Text>
void CopyOnly(benchmark::State& state, uint64_t (*allocations)()) {
  const Text source(kText);
  alignas(Text) unsigned char storage[kBatch][sizeof(Text)];
  uint64_t copyAllocations = 0;
  for (auto _ : state) {
    const uint64_t before = allocations();
    for (auto& slot : storage) benchmark::DoNotOptimize(new (slot) Text(source));
    copyAllocations += allocations() - before;
    state.PauseTiming();
    for (auto& slot : storage) reinterpret_cast<Text*>(slot)->~Text();
    state.ResumeTiming();
  }
  state.counters["per_copy"] = benchmark::Counter(double(kBatch) * state.iterations(),
                                                  benchmark::Counter::kIsRate |
                                                      benchmark::Counter::kInvert);
  state.counters["allocs"] = double(copyAllocations) / (double(kBatch) * state.iterations());
}

template <typename Text>
void CopyAndRelease(benchmark::State& state, uint64_t (*allocations)()) {
  const Text source(kText);
  const uint64_t before = allocations();
  for (auto _ : state) {
    Text copy(source);
    benchmark::DoNotOptimize(&copy);
  }
  state.counters["per_copy"] = benchmark::Counter(
      double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["allocs"] = double(allocations() - before) / state.iterations();
}

void CopyOnlyRefString(benchmark::State& s) { CopyOnly<Kestrine::RefString>(s, RefStringAllocations); }
void CopyOnlyStdString(benchmark::State& s) { CopyOnly<std::string>(s, StdStringAllocations); }
void CopyAndReleaseRefString(benchmark::State& s) {
  CopyAndRelease<Kestrine::RefString>(s, RefStringAllocations);
}
void CopyAndReleaseStdString(benchmark::State& s) {
  CopyAndRelease<std::string>(s, StdStringAllocations);
}
BENCHMARK(CopyOnlyRefString);
BENCHMARK(CopyOnlyStdString);
BENCHMARK(CopyAndReleaseRefString);
BENCHMARK(CopyAndReleaseStdString);

// Keeps each benchmark's CPU seconds per copy and allocations per copy (the median when repeated).
class Collector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      const std::string& name = run.run_name.function_name;
      perCopy[name] = run.counters.at("per_copy").value;
      allocations[name] = run.counters.at("allocs").value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> perCopy;
  std::map<std::string, double> allocations;
};

}  // namespace

void* operator new(size_t size) {
  ++g_newCalls;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  std::printf("\n");
  for (const char* measure : {"CopyOnly", "CopyAndRelease"}) {
    const std::string refName = std::string(measure) + "RefString";
    const std::string stdName = std::string(measure) + "StdString";
    const double ref = collector.perCopy[refName] * 1e9;
    const double std = collector.perCopy[stdName] * 1e9;
    std::printf("%-15s RefString %6.2f ns (%.2f allocations)  std::string %6.2f ns (%.2f allocations)"
                "  std::string/RefString %.2f\n",
                measure, ref, collector.allocations[refName], std,
                collector.allocations[stdName], std / ref);
    // One line for tools/bench: name|figure|baseline|ratio|target|holds. The promise is that a
    // copy is an atomic increment and never allocates; the time ratio is for information.
    std::printf("BENCH|RefString %s vs std::string (20 bytes)|%.2f ns, %.2f allocs|%.2f ns, %.2f allocs|"
                "%.2f|0 allocs per copy|%s\n",
                measure, ref, collector.allocations[refName], std, collector.allocations[stdName],
                ref / std, collector.allocations[refName] == 0 ? "yes" : "no");
  }
  return 0;
}
