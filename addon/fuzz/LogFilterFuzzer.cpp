// The logger bridge's filter over arbitrary tables and categories. Categories arrive from the client
// library and table keys from script, so both may hold any bytes: dots in any number and place,
// bytes above 0x7F, zero bytes (a script key may contain one; a client category is cut at it).
//
// Input: minLevel, then entries (key, level), then queries (category, level). Each query is checked
// against the same rule evaluated over std::string keys: the exact entry decides, else the entry of
// the longest prefix ending before a dot, else minLevel. The filter is checked as the bridge shares
// it too: a NUL-terminated category through the table, and the client's category through the
// threshold kept beside the table. No query may leave a block behind.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>

#include "AllocatorTestHooks.h"
#include "FuzzInput.h"
#include "LogFilter.h"
#include "SharedLogFilter.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::cerr << "addon_log_filter_fuzzer: " << what << std::endl;
  std::abort();
}

void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}

bool ExpectedEnabled(const std::map<std::string, int32_t>& table, int32_t minLevel,
                     std::string category, int32_t level) {
  for (;;) {
    const auto found = table.find(category);
    if (found != table.end()) return level >= found->second;
    const size_t dot = category.rfind('.');
    if (dot == std::string::npos) return level >= minLevel;
    category.resize(dot);
  }
}

// Levels near the script and native ones turn up more often than arbitrary 32-bit values.
int32_t Level(FuzzInput& input) {
  const uint8_t pick = input.Byte();
  if (pick < 200) return static_cast<int32_t>(pick % 12) - 8;
  return input.Int32();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const auto before = kestrine_allocator_test::Snapshot();
  {
    static const char kClientCategory[] = "orloapi";
    Kestrine::LogFilter filter;
    Kestrine::SharedLogFilter shared(kClientCategory);
    std::map<std::string, int32_t> table;
    filter.minLevel = Level(input);
    shared.SetMinLevel(filter.minLevel);
    const int entries = input.Byte() % 16;
    for (int i = 0; i < entries; ++i) {
      const std::string key = input.Bytes();
      const int32_t level = Level(input);
      filter.categoryFilter.insert_or_assign(Kestrine::RefString(key.data(), key.size()), level);
      shared.SetCategory(Kestrine::RefString(key.data(), key.size()), level);
      table[key] = level;
    }
    Check(filter.categoryFilter.size() == table.size(), "table keys collapsed or split");

    while (!input.empty()) {
      const std::string category = input.Bytes();
      const int32_t level = Level(input);
      const auto live = kestrine_allocator_test::Snapshot().liveBlocks;
      Check(filter.IsEnabled(Kestrine::RefString(category.data(), category.size()), level) ==
                ExpectedEnabled(table, filter.minLevel, category, level),
            "verdict differs for a counted category");
      const std::string cut = category.substr(0, category.find('\0'));
      Check(shared.IsEnabled(category.c_str(), level) ==
                ExpectedEnabled(table, filter.minLevel, cut, level),
            "verdict differs for a NUL-terminated category");
      Check(shared.IsEnabled(kClientCategory, level) ==
                ExpectedEnabled(table, filter.minLevel, kClientCategory, level),
            "the client category's kept threshold differs from the table");
      Check(kestrine_allocator_test::Snapshot().liveBlocks == live, "a query kept a block");
    }
  }
  const auto after = kestrine_allocator_test::Snapshot();
  Check(after.liveBlocks == before.liveBlocks, "the filter left a block behind");
  return 0;
}
