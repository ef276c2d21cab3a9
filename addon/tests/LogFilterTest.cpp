#include "LogFilter.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "AllocatorFixture.h"

using Kestrine::LogFilter;
using Kestrine::RefString;

namespace {

TEST(LogLevels, ScriptLevelsMapToNativeThresholds) {
  const std::pair<int32_t, int32_t> cases[] = {
      {0, -5}, {1, -3}, {2, -2}, {3, -1}, {4, -5}, {7, -5}, {-1, -5}, {INT32_MIN, -5},
  };
  for (const auto& [script, native] : cases) {
    EXPECT_EQ(Kestrine::ScriptLevelToNative(script), native) << script;
  }
}

TEST(LogLevels, EachNativeLevelHasItsMember) {
  const std::pair<int32_t, std::string> cases[] = {
      {-5, "logTrace"}, {-3, "logInfo"},  {-2, "logWarning"}, {-1, "logError"},
      {-4, "logError"}, {0, "logError"}, {7, "logError"},     {-6, "logError"},
  };
  for (const auto& [native, member] : cases) {
    EXPECT_EQ(Kestrine::LoggerMemberFor(native), member) << native;
  }
}

class LogFilterTest : public AllocatorFixture {};

TEST_F(LogFilterTest, CategoryEntriesAndDottedPrefixFallback) {
  struct Case {
    const char* what;
    int32_t minLevel;
    std::vector<std::pair<std::string, int32_t>> entries;
    const char* category;
    int32_t level;
    bool enabled;
  } cases[] = {
      {"no entries: minLevel", -1, {}, "orloapi", -2, false},
      {"no entries: minLevel passes", -2, {}, "orloapi", -2, true},
      {"levels above error pass", -1, {}, "orloapi", 0, true},
      {"exact entry wins over minLevel", -1, {{"orloapi", -5}}, "orloapi", -5, true},
      {"falls back to the prefix", -5, {{"a", -1}}, "a.b", -2, false},
      {"a longer name is not a prefix", -5, {{"a", -1}}, "ab", -2, true},
      {"longest prefix decides", -5, {{"a", -5}, {"a.b", -1}}, "a.b.c", -2, false},
      {"sibling uses the shorter prefix", -5, {{"a", -5}, {"a.b", -1}}, "a.c", -2, true},
      {"exact entry decides over its prefix", -5, {{"a", -5}, {"a.b.c", -1}}, "a.b.c", -2, false},
      {"leading dot uses the empty entry", -1, {{"", -5}}, ".x", -5, true},
      {"no dot: the empty entry is not used", -1, {{"", -5}}, "x", -5, false},
      {"trailing dot", -1, {{"a", -5}}, "a.", -5, true},
      {"case-sensitive", -1, {{"A", -5}}, "a", -5, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LogFilter filter;
    filter.minLevel = c.minLevel;
    for (const auto& [name, level] : c.entries) {
      filter.categoryFilter.insert_or_assign(RefString(name.c_str()), level);
    }
    EXPECT_EQ(filter.IsEnabled(RefString(c.category), c.level), c.enabled);
  }
}

TEST_F(LogFilterTest, StartsWithErrorThreshold) {
  LogFilter filter;
  EXPECT_EQ(filter.minLevel, -1);
  EXPECT_FALSE(filter.IsEnabled(RefString("orloapi"), -2));
  EXPECT_TRUE(filter.IsEnabled(RefString("orloapi"), -1));
}

}  // namespace
