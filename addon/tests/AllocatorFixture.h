// Every RefString test runs against the allocator stand-in, which aborts on a free with the wrong
// size; this fixture adds that no test leaves a block behind.
#pragma once

#include <gtest/gtest.h>

#include "AllocatorTestHooks.h"
#include "RefString.h"

class AllocatorFixture : public ::testing::Test {
 protected:
  void SetUp() override { before_ = kestrine_allocator_test::Snapshot(); }
  void TearDown() override {
    const auto after = kestrine_allocator_test::Snapshot();
    EXPECT_EQ(after.liveBlocks, before_.liveBlocks) << "a block was leaked";
    EXPECT_EQ(after.liveBytes, before_.liveBytes);
  }

  uint64_t MallocsSinceStart() const {
    return kestrine_allocator_test::Snapshot().mallocCalls - before_.mallocCalls;
  }

  static const Kestrine::RefStringRep* HeaderOf(const Kestrine::RefString& s) {
    return reinterpret_cast<const Kestrine::RefStringRep*>(s.c_str() - 24);
  }
  static Kestrine::RefStringRep* MutableHeaderOf(const Kestrine::RefString& s) {
    return const_cast<Kestrine::RefStringRep*>(HeaderOf(s));
  }
  static std::string Text(const Kestrine::RefString& s) {
    return std::string(s.c_str(), s.length());
  }

  kestrine_allocator_test::Counters before_{};
};
