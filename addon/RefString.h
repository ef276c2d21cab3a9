// RefString: an immutable UTF-8 text whose characters live in a reference-counted block from the
// allocator library. Copies share the block; the last owner hands it back with the size it was
// allocated with. The block layout is shared with the allocator library, which supplies the empty
// representation in it, so it must not change.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Kestrine {

// Block header; the characters follow it directly, terminated by a zero byte at `length`.
struct RefStringRep {
  int32_t refCount;  // sharers minus one; kUnshareable forbids sharing. Atomic access only.
  uint32_t reserved;
  uint64_t capacity;  // characters the block holds, terminator not counted
  uint64_t length;
};
static_assert(offsetof(RefStringRep, refCount) == 0, "layout shared with the allocator library");
static_assert(offsetof(RefStringRep, reserved) == 4, "layout shared with the allocator library");
static_assert(offsetof(RefStringRep, capacity) == 8, "layout shared with the allocator library");
static_assert(offsetof(RefStringRep, length) == 16, "layout shared with the allocator library");
static_assert(sizeof(RefStringRep) == 24, "layout shared with the allocator library");

class RefString {
 public:
  static constexpr uint64_t npos = ~uint64_t{0};
  // Largest capacity; a block is capacity + kBlockOverhead bytes (header and two spare bytes).
  static constexpr uint64_t kMaxSize = ~uint64_t{0} - 25;  // 2^64 - 26
  static constexpr uint64_t kBlockOverhead = sizeof(RefStringRep) + 2;
  static constexpr int32_t kUnshareable = -1;

  // The bytes before the first zero byte; null gives the empty text.
  explicit RefString(const char* text);
  // Exactly `count` bytes from `data`.
  RefString(const char* data, uint64_t count);
  RefString(const RefString& other);
  RefString& operator=(const RefString&) = delete;
  ~RefString();

  uint64_t length() const { return Rep()->length; }
  const char* c_str() const { return characters_; }

  // Index of the last `c`, or npos.
  uint64_t rfind(char c) const;
  // At most `count` bytes from `position`, always in a block of its own.
  RefString substr(uint64_t position, uint64_t count) const;

  // Bytewise, unsigned, shorter first on a common prefix: no locale, no case folding.
  friend bool operator<(const RefString& a, const RefString& b);

  // A fresh block with refCount 0, `capacity` and `length` set and the terminator written; the
  // shared empty representation when the capacity comes out 0. Throws std::length_error for
  // impossible requests and std::bad_alloc when the allocator has no block.
  static RefStringRep* AcquireRep(uint64_t capacity, uint64_t length);

 private:
  RefStringRep* Rep() const {
    return reinterpret_cast<RefStringRep*>(characters_ - sizeof(RefStringRep));
  }
  static char* CharactersOf(RefStringRep* rep) {
    return reinterpret_cast<char*>(rep) + sizeof(RefStringRep);
  }

  char* characters_;
};

}  // namespace Kestrine
