#include "RefString.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "KestrineAllocator.h"

namespace Kestrine {
namespace {

// The allocator library never hands us a reference to the empty representation to keep: it is
// asked for each time and compared by address.
RefStringRep* EmptyRep() {
  return static_cast<RefStringRep*>(kestrineAllocator_getNullRefBuffer());
}

// refCount is a plain int32 in a layout shared with another library, so it is touched through the
// atomic builtins rather than a std::atomic member.
int32_t LoadRefCount(const RefStringRep* rep) {
  return __atomic_load_n(&rep->refCount, __ATOMIC_SEQ_CST);
}

// Every text of length 0 is the empty representation and every block made here holds at least one
// character, so only an empty text needs the library asked: copies of other texts skip the call.
bool IsEmptyRep(const RefStringRep* rep) { return rep->length == 0 && rep == EmptyRep(); }

}  // namespace

RefStringRep* RefString::AcquireRep(uint64_t capacity, uint64_t length) {
  if (capacity <= kMaxSize) {
    if (length > capacity) {
      throw std::length_error(
          "(_RWSTD_ERROR_LENGTH_ERROR, _RWSTD_FUNC (\"basic_string::_C_get_rep (size_type, \" "
          "\"size_type)\"), __len, __cap)");
    }
  } else {
    if (length > kMaxSize) {
      throw std::length_error(
          "(_RWSTD_ERROR_LENGTH_ERROR, _RWSTD_FUNC (\"basic_string::_C_get_rep (size_type, \" "
          "\"size_type)\"), __cap, max_size ())");
    }
    capacity = length;
  }
  if (capacity == 0) return EmptyRep();
  // At kMaxSize the block size would wrap to 0 and the header would be written past a tiny block.
  if (capacity > ~uint64_t{0} - kBlockOverhead) throw std::bad_alloc();
  void* block = kestrineAllocator_malloc(capacity + kBlockOverhead);
  if (!block) throw std::bad_alloc();
  auto* rep = static_cast<RefStringRep*>(block);
  std::memset(rep, 0, sizeof(RefStringRep));
  __atomic_store_n(&rep->refCount, 0, __ATOMIC_SEQ_CST);
  rep->capacity = capacity;
  rep->length = length;
  CharactersOf(rep)[length] = '\0';
  return rep;
}

RefString::RefString(const char* text) : characters_(nullptr) {
  const uint64_t length = text ? std::strlen(text) : 0;
  RefStringRep* rep = length == 0 ? EmptyRep() : AcquireRep(std::max<uint64_t>(length, 8), length);
  characters_ = CharactersOf(rep);
  if (length != 0) std::memcpy(characters_, text, length);
}

RefString::RefString(const char* data, uint64_t count) : characters_(nullptr) {
  if (count > kMaxSize) {
    throw std::length_error(
        "(_RWSTD_ERROR_LENGTH_ERROR, _RWSTD_FUNC (\"basic_string::basic_string (const_pointer,\" "
        "\"size_type, const allocator_type&)\"), __n, max_size ())");
  }
  RefStringRep* rep = count == 0 ? EmptyRep() : AcquireRep(std::max<uint64_t>(count, 8), count);
  characters_ = CharactersOf(rep);
  if (count != 0 && data) std::memcpy(characters_, data, count);
}

RefString::RefString(const RefString& other) : characters_(nullptr) {
  RefStringRep* source = other.Rep();
  if (LoadRefCount(source) == kUnshareable) {
    RefStringRep* rep = AcquireRep(source->length, source->length);
    characters_ = CharactersOf(rep);
    if (source->length != 0) std::memcpy(characters_, other.characters_, source->length);
    return;
  }
  if (!IsEmptyRep(source)) __atomic_add_fetch(&source->refCount, 1, __ATOMIC_SEQ_CST);
  characters_ = other.characters_;
}

RefString::~RefString() {
  RefStringRep* rep = Rep();
  if (IsEmptyRep(rep)) return;
  if (__atomic_fetch_add(&rep->refCount, -1, __ATOMIC_SEQ_CST) <= 0) {
    kestrineAllocator_free(rep, rep->capacity + kBlockOverhead);
  }
}

uint64_t RefString::rfind(char c) const {
  for (uint64_t position = length(); position > 0; --position) {
    if (characters_[position - 1] == c) return position - 1;
  }
  return npos;
}

RefString RefString::substr(uint64_t position, uint64_t count) const {
  const uint64_t size = length();
  if (position > size) {
    throw std::out_of_range(
        "(_RWSTD_ERROR_OUT_OF_RANGE, _RWSTD_FUNC (\"basic_string::substr (size_type, \" "
        "\"size_type) const\"), __pos, size ())");
  }
  return RefString(characters_ + position, std::min(count, size - position));
}

bool operator<(const RefString& a, const RefString& b) {
  const uint64_t aLength = a.length();
  const uint64_t bLength = b.length();
  const int order = std::memcmp(a.c_str(), b.c_str(), std::min(aLength, bLength));
  return order != 0 ? order < 0 : aLength < bLength;
}

}  // namespace Kestrine
