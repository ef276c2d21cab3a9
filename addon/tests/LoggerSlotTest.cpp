#include "LoggerSlot.h"

#include <gtest/gtest.h>

#include "LoggerSlotTestSupport.h"

namespace {

FakeInstallation* CurrentOf(FakeSlot& slot) {
  FakeInstallation* current = nullptr;
  slot.WithCurrent([&](FakeInstallation& installation) { current = &installation; });
  return current;
}

TEST(LoggerSlot, ReplacingReleasesThePreviousQueueOnce) {
  FakeSlot slot;
  QueueRecord first, second;
  auto* a = new FakeInstallation(first);
  auto* b = new FakeInstallation(second);
  slot.Replace(a);
  EXPECT_EQ(CurrentOf(slot), a);
  slot.Replace(b);
  EXPECT_EQ(CurrentOf(slot), b);
  EXPECT_EQ(first.releases, 1);
  EXPECT_EQ(first.aborts, 0);
  // The replaced installation's environment ends before the host has finalized its queue.
  slot.EnvironmentEnding(*a);
  EXPECT_EQ(first.releases, 1);
  EXPECT_EQ(CurrentOf(slot), b);
  Finalize(slot, a);
  EXPECT_EQ(CurrentOf(slot), b);

  slot.Replace(nullptr);
  EXPECT_EQ(CurrentOf(slot), nullptr);
  EXPECT_EQ(second.releases, 1);
  Finalize(slot, b);
}

TEST(LoggerSlot, TeardownAbortsTheCurrentQueueAndNoInstallReleasesItAgain) {
  FakeSlot slot;
  QueueRecord record;
  auto* a = new FakeInstallation(record);
  slot.Replace(a);
  slot.EnvironmentEnding(*a);
  EXPECT_EQ(CurrentOf(slot), nullptr);
  EXPECT_EQ(record.releases, 1);
  EXPECT_EQ(record.aborts, 1);
  slot.Replace(nullptr);
  EXPECT_EQ(record.releases, 1);
  Finalize(slot, a);
  EXPECT_EQ(record.releasesAfterFinalize, 0);
}

TEST(LoggerSlot, AFinalizedInstallationIsNoLongerCurrent) {
  // The host may finalize a queue at teardown before the installation's own teardown step runs.
  FakeSlot slot;
  QueueRecord record;
  auto* a = new FakeInstallation(record);
  slot.Replace(a);
  Finalize(slot, a);
  EXPECT_EQ(CurrentOf(slot), nullptr);
  slot.Replace(nullptr);
  EXPECT_EQ(record.releases, 0);
}

}  // namespace
