// Lines filtered on many threads while the script thread changes the settings, as when the client
// library logs from its own threads while a logger is being installed. Built with ThreadSanitizer
// on the host: a setting read or written outside the filter's lock or atomic shows up as a race.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "SharedLogFilter.h"

using Kestrine::RefString;
using Kestrine::SharedLogFilter;

namespace {

TEST(SharedLogFilterThreads, LinesFilteredWhileTheSettingsChange) {
  static const char kFast[] = "orloapi";
  SharedLogFilter filter(kFast);
  std::atomic<bool> done{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      const std::string other = t % 2 ? "orloapi" : "orloapi.sub";  // the table, under the lock
      while (!done.load()) {
        // Errors pass every threshold the settings below can set.
        ASSERT_TRUE(filter.IsEnabled(kFast, -1));
        ASSERT_TRUE(filter.IsEnabled(other.c_str(), -1));
      }
    });
  }
  for (int round = 0; round < 500; ++round) {
    filter.SetMinLevel(round % 2 ? -5 : -1);
    filter.ClearCategories();
    filter.SetCategory(RefString("orloapi"), round % 3 ? -2 : -5);
  }
  done = true;
  for (std::thread& thread : threads) thread.join();
  // The last round (499) left minLevel -5 and the entry orloapi at -2, which decides.
  EXPECT_FALSE(filter.IsEnabled(kFast, -3));
  EXPECT_TRUE(filter.IsEnabled(kFast, -2));
}

}  // namespace
