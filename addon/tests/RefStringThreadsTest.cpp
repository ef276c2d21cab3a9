// Copies of one text made and released on many threads at once. Built with ThreadSanitizer on the
// host, so a share count touched without atomics shows up as a race, and against the allocator
// stand-in, which aborts on a second free of the block.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "AllocatorFixture.h"
#include "RefString.h"

using Kestrine::RefString;

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 2000;

class RefStringThreadsTest : public AllocatorFixture {};

TEST_F(RefStringThreadsTest, ConcurrentCopiesAndReleasesKeepOneBlockUntilTheLastOwner) {
  const auto start = kestrine_allocator_test::Snapshot();
  {
    RefString original("orloapi.session.tokens");
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&original] {
        for (int round = 0; round < kRounds; ++round) {
          std::vector<RefString> copies;
          copies.reserve(4);
          copies.emplace_back(original);
          copies.emplace_back(copies.back());
          copies.emplace_back(original);
          ASSERT_EQ(copies.back().c_str(), original.c_str());
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(HeaderOf(original)->refCount, 0);
  }
  const auto end = kestrine_allocator_test::Snapshot();
  EXPECT_EQ(end.mallocCalls - start.mallocCalls, 1u);
  EXPECT_EQ(end.freeCalls - start.freeCalls, 1u);
  EXPECT_EQ(end.lastFreeSize, 22u + 26u);
}

TEST_F(RefStringThreadsTest, WhicheverThreadReleasesLastFreesTheBlockOnce) {
  for (int round = 0; round < 200; ++round) {
    const auto before = kestrine_allocator_test::Snapshot();
    std::vector<std::thread> threads;
    {
      RefString original("last owner frees");
      for (int t = 0; t < kThreads; ++t) {
        // Each thread owns a copy made here and releases it at its own pace.
        threads.emplace_back([copy = RefString(original)] { ASSERT_EQ(copy.length(), 16u); });
      }
    }
    for (std::thread& thread : threads) thread.join();
    const auto after = kestrine_allocator_test::Snapshot();
    ASSERT_EQ(after.freeCalls - before.freeCalls, 1u);
    ASSERT_EQ(after.liveBlocks, before.liveBlocks);
  }
}

}  // namespace
