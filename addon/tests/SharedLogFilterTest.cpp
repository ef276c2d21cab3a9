#include "SharedLogFilter.h"

#include <gtest/gtest.h>

#include <string>

#include "AllocatorFixture.h"

using Kestrine::RefString;
using Kestrine::SharedLogFilter;

namespace {

class SharedLogFilterTest : public AllocatorFixture {};

constexpr int32_t kLevels[] = {-6, -5, -4, -3, -2, -1, 0, 1};

// The fast category's answers, through its own address and through the same text elsewhere (the
// table lookup under the lock), as one string per level: '+' passes, '-' is dropped.
std::string Verdicts(const SharedLogFilter& filter, const char* fast) {
  const std::string elsewhere(fast);
  std::string fastVerdicts, lockedVerdicts;
  for (int32_t level : kLevels) {
    fastVerdicts += filter.IsEnabled(fast, level) ? '+' : '-';
    lockedVerdicts += filter.IsEnabled(elsewhere.c_str(), level) ? '+' : '-';
  }
  EXPECT_EQ(fastVerdicts, lockedVerdicts) << "the kept threshold and the table disagree";
  return fastVerdicts;
}

TEST_F(SharedLogFilterTest, TheKeptThresholdFollowsEveryChange) {
  static const char kFast[] = "client.session";
  SharedLogFilter filter(kFast);
  EXPECT_EQ(Verdicts(filter, kFast), "-----+++");  // minLevel -1 at first
  filter.SetMinLevel(-3);
  EXPECT_EQ(Verdicts(filter, kFast), "---+++++");
  filter.SetCategory(RefString("client"), -2);  // a prefix entry overrides minLevel
  EXPECT_EQ(Verdicts(filter, kFast), "----++++");
  filter.SetCategory(RefString("client.session"), -5);  // the exact entry overrides the prefix
  EXPECT_EQ(Verdicts(filter, kFast), "-+++++++");
  filter.SetCategory(RefString("client.sessions"), -1);  // not a prefix: changes nothing
  EXPECT_EQ(Verdicts(filter, kFast), "-+++++++");
  filter.ClearCategories();
  EXPECT_EQ(Verdicts(filter, kFast), "---+++++");
}

TEST_F(SharedLogFilterTest, OtherCategoriesUseTheTable) {
  static const char kFast[] = "orloapi";
  SharedLogFilter filter(kFast);
  filter.SetMinLevel(-1);
  filter.SetCategory(RefString("a"), -5);
  filter.SetCategory(RefString(""), -3);
  EXPECT_TRUE(filter.IsEnabled("a.b", -5));
  EXPECT_FALSE(filter.IsEnabled("ab", -5));
  EXPECT_TRUE(filter.IsEnabled(".x", -3));
  EXPECT_TRUE(filter.IsEnabled(nullptr, -3));  // the empty category
  EXPECT_FALSE(filter.IsEnabled(nullptr, -4));
  EXPECT_FALSE(filter.IsEnabled(kFast, -2));
}

TEST_F(SharedLogFilterTest, ALineOfTheFastCategoryAllocatesNothing) {
  static const char kFast[] = "orloapi";
  SharedLogFilter filter(kFast);
  filter.SetMinLevel(-2);
  const uint64_t before = MallocsSinceStart();
  for (int32_t level : kLevels) filter.IsEnabled(kFast, level);
  EXPECT_EQ(MallocsSinceStart(), before);
}

}  // namespace
