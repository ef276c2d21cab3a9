#include "RefString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "AllocatorFixture.h"
#include "KestrineAllocator.h"

using Kestrine::RefString;
using Kestrine::RefStringRep;

namespace {

const char kGetRepLengthText[] =
    "(_RWSTD_ERROR_LENGTH_ERROR, _RWSTD_FUNC (\"basic_string::_C_get_rep (size_type, \" "
    "\"size_type)\"), __len, __cap)";
const char kGetRepCapacityText[] =
    "(_RWSTD_ERROR_LENGTH_ERROR, _RWSTD_FUNC (\"basic_string::_C_get_rep (size_type, \" "
    "\"size_type)\"), __cap, max_size ())";
const char kConstructText[] =
    "(_RWSTD_ERROR_LENGTH_ERROR, _RWSTD_FUNC (\"basic_string::basic_string (const_pointer,\" "
    "\"size_type, const allocator_type&)\"), __n, max_size ())";
const char kSubstrText[] =
    "(_RWSTD_ERROR_OUT_OF_RANGE, _RWSTD_FUNC (\"basic_string::substr (size_type, \" "
    "\"size_type) const\"), __pos, size ())";

const uint64_t kMaxSize = ~uint64_t{0} - 25;  // 2^64 - 26

template <typename Exception, typename Body>
std::string MessageOf(Body body) {
  try {
    body();
  } catch (const Exception& e) {
    return e.what();
  }
  return "<nothing thrown>";
}

const RefStringRep* EmptyRep() {
  return static_cast<const RefStringRep*>(kestrineAllocator_getNullRefBuffer());
}

class RefStringTest : public AllocatorFixture {};

TEST_F(RefStringTest, BlockLayoutAndSizes) {
  struct Case {
    std::string text;
    uint64_t capacity;
    uint64_t blockSize;
  } cases[] = {
      {"a", 8, 34},
      {"abc", 8, 34},
      {"abcdefgh", 8, 34},
      {"abcdefghi", 9, 35},
      {"abcdefghijklmnopqrst", 20, 46},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto start = kestrine_allocator_test::Snapshot();
    {
      RefString s(c.text.c_str());
      const auto made = kestrine_allocator_test::Snapshot();
      EXPECT_EQ(made.mallocCalls, start.mallocCalls + 1);
      EXPECT_EQ(made.lastMallocSize, c.blockSize);
      const RefStringRep* rep = HeaderOf(s);
      const unsigned char* block = reinterpret_cast<const unsigned char*>(rep);
      int32_t refCount;
      uint32_t reserved;
      uint64_t capacity, length;
      std::memcpy(&refCount, block + 0, 4);
      std::memcpy(&reserved, block + 4, 4);
      std::memcpy(&capacity, block + 8, 8);
      std::memcpy(&length, block + 16, 8);
      EXPECT_EQ(refCount, 0);
      EXPECT_EQ(reserved, 0u);
      EXPECT_EQ(capacity, c.capacity);
      EXPECT_EQ(length, c.text.size());
      EXPECT_EQ(s.length(), c.text.size());
      EXPECT_EQ(std::memcmp(block + 24, c.text.data(), c.text.size()), 0);
      EXPECT_EQ(block[24 + c.text.size()], 0);
    }
    const auto released = kestrine_allocator_test::Snapshot();
    EXPECT_EQ(released.freeCalls, start.freeCalls + 1);
    EXPECT_EQ(released.lastFreeSize, c.blockSize);
  }
}

TEST_F(RefStringTest, PointerAndCountCopiesExactlyCountBytes) {
  const char source[] = {'a', '\0', 'b', 'c', 'd'};
  RefString s(source, 3);
  ASSERT_EQ(s.length(), 3u);
  EXPECT_EQ(std::memcmp(s.c_str(), "a\0b", 3), 0);
  EXPECT_EQ(s.c_str()[3], '\0');
  EXPECT_EQ(HeaderOf(s)->capacity, 8u);

  RefString fromNull(nullptr, 4);  // a block of four characters, none copied
  EXPECT_EQ(fromNull.length(), 4u);
  EXPECT_EQ(fromNull.c_str()[4], '\0');
}

TEST_F(RefStringTest, EmptyTextsUseTheLibrarysEmptyRepresentationAndNeverCountIt) {
  const int32_t countBefore = EmptyRep()->refCount;
  RefString fromEmpty("");
  RefString fromNull(nullptr);
  RefString fromCount("abc", 0);
  RefString abc("abc");
  RefString fromSubstr = abc.substr(3, 5);
  const uint64_t mallocsForAbc = 1;
  for (const RefString* s : {&fromEmpty, &fromNull, &fromCount, &fromSubstr}) {
    EXPECT_EQ(HeaderOf(*s), EmptyRep());
    EXPECT_EQ(s->length(), 0u);
    EXPECT_STREQ(s->c_str(), "");
    {
      RefString copy(*s);
      EXPECT_EQ(HeaderOf(copy), EmptyRep());
    }
  }
  EXPECT_EQ(EmptyRep()->refCount, countBefore);
  EXPECT_EQ(MallocsSinceStart(), mallocsForAbc);
}

TEST_F(RefStringTest, CopiesShareOneBlockAndTheLastOwnerFreesIt) {
  auto* original = new RefString("orloapi.session");
  const auto made = kestrine_allocator_test::Snapshot();
  auto* copy = new RefString(*original);
  EXPECT_EQ(copy->c_str(), original->c_str());
  EXPECT_EQ(HeaderOf(*original)->refCount, 1);
  EXPECT_EQ(kestrine_allocator_test::Snapshot().mallocCalls, made.mallocCalls);

  delete original;
  EXPECT_EQ(HeaderOf(*copy)->refCount, 0);
  EXPECT_EQ(kestrine_allocator_test::Snapshot().freeCalls, made.freeCalls);
  EXPECT_EQ(Text(*copy), "orloapi.session");

  delete copy;
  const auto released = kestrine_allocator_test::Snapshot();
  EXPECT_EQ(released.freeCalls, made.freeCalls + 1);
  EXPECT_EQ(released.lastFreeSize, 15u + 26u);
}

TEST_F(RefStringTest, UnshareableBlockIsCopiedPrivatelyWithCapacityEqualToLength) {
  RefString original("abc");
  MutableHeaderOf(original)->refCount = RefString::kUnshareable;
  {
    RefString copy(original);
    EXPECT_NE(copy.c_str(), original.c_str());
    EXPECT_EQ(Text(copy), "abc");
    EXPECT_EQ(HeaderOf(copy)->capacity, 3u);
    EXPECT_EQ(HeaderOf(copy)->refCount, 0);
    EXPECT_EQ(kestrine_allocator_test::Snapshot().lastMallocSize, 29u);
    EXPECT_EQ(HeaderOf(original)->refCount, RefString::kUnshareable);
  }
  EXPECT_EQ(kestrine_allocator_test::Snapshot().lastFreeSize, 29u);
  // Its single owner still frees the unshareable block (the fixture sees no leak).
}

TEST_F(RefStringTest, OrderingIsBytewiseUnsignedShorterFirst) {
  const std::pair<std::string, std::string> ordered[] = {
      {"", "a"},     {"a", "a.b"},  {"a.b", "ab"}, {"Z", "a"},
      {"B", "a"},    {"a", "a."},   {"a.", "ab"},  {"a", "\xc3\xa9"},
      {std::string("a\0b", 3), std::string("a\0c", 3)},
      {std::string("a", 1), std::string("a\0", 2)},
  };
  for (const auto& [lower, higher] : ordered) {
    SCOPED_TRACE(lower + " < " + higher);
    RefString a(lower.data(), lower.size());
    RefString b(higher.data(), higher.size());
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_FALSE(a < a);
  }
}

TEST_F(RefStringTest, Rfind) {
  const struct {
    const char* text;
    char c;
    uint64_t expected;
  } cases[] = {
      {"a.b.c", '.', 3}, {"abc", '.', RefString::npos}, {"", '.', RefString::npos},
      {".", '.', 0},     {"a.", '.', 1},                {"abca", 'a', 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(RefString(c.text).rfind(c.c), c.expected);
  }
}

TEST_F(RefStringTest, SubstrMakesANewBlockOfAtMostCountBytes) {
  RefString source("a.b.c");
  const struct {
    uint64_t position, count;
    const char* expected;
  } cases[] = {
      {0, 3, "a.b"}, {2, 100, "b.c"}, {4, RefString::npos, "c"}, {0, 0, ""}, {5, 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    RefString part = source.substr(c.position, c.count);
    EXPECT_EQ(Text(part), c.expected);
    if (part.length() != 0) {
      EXPECT_NE(HeaderOf(part), HeaderOf(source));
      EXPECT_EQ(HeaderOf(part)->capacity, 8u);
      EXPECT_EQ(HeaderOf(source)->refCount, 0);
    }
  }
  EXPECT_EQ(MessageOf<std::out_of_range>([&] { source.substr(6, 1); }), kSubstrText);
}

TEST_F(RefStringTest, LengthErrorTexts) {
  EXPECT_EQ(MessageOf<std::length_error>([] { RefString::AcquireRep(5, 6); }), kGetRepLengthText);
  EXPECT_EQ(MessageOf<std::length_error>([] { RefString::AcquireRep(~uint64_t{0}, kMaxSize + 1); }),
            kGetRepCapacityText);
  EXPECT_EQ(MessageOf<std::length_error>([] { RefString("x", kMaxSize + 1); }), kConstructText);
  EXPECT_EQ(MessageOf<std::length_error>([] { RefString("x", ~uint64_t{0}); }), kConstructText);
  EXPECT_EQ(MallocsSinceStart(), 0u);
}

TEST_F(RefStringTest, AnOversizedCapacityFallsBackToTheLength) {
  RefStringRep* rep = RefString::AcquireRep(~uint64_t{0}, 3);
  EXPECT_EQ(rep->capacity, 3u);
  EXPECT_EQ(rep->length, 3u);
  EXPECT_EQ(rep->refCount, 0);
  EXPECT_EQ(kestrine_allocator_test::Snapshot().lastMallocSize, 29u);
  kestrineAllocator_free(rep, 29);
}

TEST_F(RefStringTest, AllocationFailureRaisesBadAlloc) {
  kestrine_allocator_test::FailNextMallocs(1);
  EXPECT_THROW(RefString("abc"), std::bad_alloc);

  RefString unshareable("abc");
  MutableHeaderOf(unshareable)->refCount = RefString::kUnshareable;
  kestrine_allocator_test::FailNextMallocs(1);
  EXPECT_THROW(RefString copy(unshareable), std::bad_alloc);

  // The largest valid count would need a block of 2^64 bytes: the size must not wrap to a tiny
  // block that the header is then written past.
  const uint64_t mallocs = MallocsSinceStart();
  EXPECT_THROW(RefString("x", kMaxSize), std::bad_alloc);
  EXPECT_EQ(MallocsSinceStart(), mallocs);
}

}  // namespace
