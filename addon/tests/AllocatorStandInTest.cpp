// The stand-in must make a wrong free loud: it is how the RefString tests see a wrong size.
#include <gtest/gtest.h>

#include <cstring>

#include "KestrineAllocator.h"

namespace {

TEST(AllocatorStandInDeathTest, FreeingWithAnotherSizeAborts) {
  void* block = kestrineAllocator_malloc(34);
  EXPECT_DEATH(kestrineAllocator_free(block, 33), "free with a wrong size.*passed 33.*allocated 34");
  kestrineAllocator_free(block, 34);
}

TEST(AllocatorStandInDeathTest, FreeingTwiceOrFreeingTheEmptyRepresentationAborts) {
  void* block = kestrineAllocator_malloc(40);
  kestrineAllocator_free(block, 40);
  EXPECT_DEATH(kestrineAllocator_free(block, 40), "not live");
  EXPECT_DEATH(kestrineAllocator_free(kestrineAllocator_getNullRefBuffer(), 26),
               "empty representation");
}

TEST(AllocatorStandIn, EmptyRepresentationIsAnEmptyHeader) {
  const auto* header = static_cast<const unsigned char*>(kestrineAllocator_getNullRefBuffer());
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header, kestrineAllocator_getNullRefBuffer());
  uint64_t capacity, length;
  std::memcpy(&capacity, header + 8, 8);
  std::memcpy(&length, header + 16, 8);
  EXPECT_EQ(capacity, 0u);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(header[24], 0);
}

}  // namespace
