// RefString under arbitrary sequences of its operations, against std::string as the model. Eight
// slots hold texts; each input byte picks an operation and its slots. After every operation each
// live text must equal its model, be terminated, share blocks exactly as the copy rule says (one
// block per chain of shareable copies, counted correctly) and use the allocator's empty
// representation exactly when empty. At the end no block may be left.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

#include "AllocatorTestHooks.h"
#include "FuzzInput.h"
#include "KestrineAllocator.h"
#include "RefString.h"

namespace {

using Kestrine::RefString;
using Kestrine::RefStringRep;

constexpr int kSlots = 8;

[[noreturn]] void Fail(const char* what) {
  std::cerr << "addon_refstring_fuzzer: " << what << std::endl;
  std::abort();
}

void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}

RefStringRep* HeaderOf(const RefString& text) {
  return reinterpret_cast<RefStringRep*>(const_cast<char*>(text.c_str()) - sizeof(RefStringRep));
}

RefStringRep* EmptyRep() {
  return static_cast<RefStringRep*>(kestrineAllocator_getNullRefBuffer());
}

struct Slot {
  std::optional<RefString> text;
  std::string model;
};

void CheckSlots(const Slot (&slots)[kSlots]) {
  std::map<RefStringRep*, int> owners;
  for (const Slot& slot : slots) {
    if (!slot.text) continue;
    const RefString& text = *slot.text;
    Check(text.length() == slot.model.size(), "length differs from the model");
    Check(std::memcmp(text.c_str(), slot.model.data(), slot.model.size()) == 0,
          "characters differ from the model");
    Check(text.c_str()[text.length()] == '\0', "text is not terminated");
    RefStringRep* header = HeaderOf(text);
    Check((header == EmptyRep()) == slot.model.empty(),
          "empty text off the empty representation, or a non-empty one on it");
    if (header != EmptyRep()) {
      Check(header->capacity >= header->length, "capacity below length");
      ++owners[header];
    }
  }
  for (const auto& [header, count] : owners) {
    const int32_t refCount = __atomic_load_n(&header->refCount, __ATOMIC_SEQ_CST);
    if (refCount == RefString::kUnshareable) {
      Check(count == 1, "an unshareable block is shared");
    } else {
      Check(refCount == count - 1, "share count differs from the number of owners");
    }
  }
}

void Run(FuzzInput& input) {
  Slot slots[kSlots];
  while (!input.empty()) {
    const uint8_t op = input.Byte();
    Slot& a = slots[(op >> 4) & 7];
    Slot& b = slots[input.Byte() & 7];
    switch (op & 15) {
      case 0: {  // from a NUL-terminated string
        const std::string bytes = input.Bytes();
        a.text.reset();
        a.text.emplace(bytes.c_str());
        a.model = bytes.substr(0, bytes.find('\0'));
        if (!a.model.empty()) {
          Check(HeaderOf(*a.text)->capacity == std::max<size_t>(a.model.size(), 8),
                "new text without its minimum capacity");
        }
        break;
      }
      case 1: {  // from pointer and count, NUL bytes included
        const std::string bytes = input.Bytes();
        a.text.reset();
        a.text.emplace(bytes.data(), bytes.size());
        a.model = bytes;
        break;
      }
      case 2: {  // null pointer
        a.text.reset();
        a.text.emplace(static_cast<const char*>(nullptr));
        a.model.clear();
        break;
      }
      case 3:  // copy
      case 4: {
        if (!a.text || &a == &b) break;
        const bool unshareable = HeaderOf(*a.text)->refCount == RefString::kUnshareable;
        RefString copy(*a.text);
        const bool shares = copy.c_str() == a.text->c_str();
        Check(shares != unshareable, "copy did not follow the sharing rule");
        if (unshareable) {
          Check(HeaderOf(copy)->capacity == a.model.size(), "private copy capacity is not its length");
        }
        b.text.reset();
        b.text.emplace(copy);
        b.model = a.model;
        break;
      }
      case 5:  // release
        a.text.reset();
        a.model.clear();
        break;
      case 6:
      case 7: {  // substr
        if (!a.text) break;
        const uint64_t position = input.Byte();
        const uint64_t count = (op & 1) ? RefString::npos : input.Byte();
        try {
          RefString part = a.text->substr(position, count);
          Check(position <= a.model.size(), "substr past the end did not throw");
          Check(part.length() == 0 || part.c_str() != a.text->c_str(), "substr shares its source");
          const std::string expected = a.model.substr(position, count);
          if (&a != &b) {
            b.text.reset();
            b.text.emplace(part);
            b.model = expected;
          } else {
            Check(std::string(part.c_str(), part.length()) == expected, "substr differs");
          }
        } catch (const std::out_of_range&) {
          Check(position > a.model.size(), "substr in range threw");
        }
        break;
      }
      case 8: {  // rfind
        if (!a.text) break;
        const char c = static_cast<char>(input.Byte());
        const size_t expected = a.model.rfind(c);
        const uint64_t found = a.text->rfind(c);
        Check(expected == std::string::npos ? found == RefString::npos : found == expected,
              "rfind differs");
        break;
      }
      case 9: {  // ordering
        if (!a.text || !b.text) break;
        Check((*a.text < *b.text) == (a.model < b.model), "ordering differs");
        Check(!(*a.text < *a.text), "ordering is not irreflexive");
        break;
      }
      case 10: {  // a block that must not be shared, as the allocator library may hand over
        if (!a.text || a.model.empty()) break;
        RefStringRep* header = HeaderOf(*a.text);
        if (header->refCount == 0) __atomic_store_n(&header->refCount, -1, __ATOMIC_SEQ_CST);
        break;
      }
      case 11: {  // the allocator runs dry
        const std::string bytes = input.Bytes();
        kestrine_allocator_test::FailNextMallocs(1);
        try {
          RefString text(bytes.data(), bytes.size());
          Check(bytes.empty(), "construction without a block succeeded");
        } catch (const std::bad_alloc&) {
          Check(!bytes.empty(), "the empty text asked the allocator");
        }
        kestrine_allocator_test::FailNextMallocs(0);
        break;
      }
      case 12: {  // impossible sizes
        try {
          RefString::AcquireRep(input.Byte(), RefString::kMaxSize);
          Fail("a length above the capacity was accepted");
        } catch (const std::length_error&) {
        }
        try {
          RefString text(a.model.data(), RefString::kMaxSize + 1 + input.Byte() % 25);
          Fail("a count above the largest size was accepted");
        } catch (const std::length_error&) {
        }
        break;
      }
      default:
        break;
    }
    CheckSlots(slots);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto before = kestrine_allocator_test::Snapshot();
  {
    FuzzInput input(data, size);
    Run(input);
  }
  const auto after = kestrine_allocator_test::Snapshot();
  Check(after.liveBlocks == before.liveBlocks && after.liveBytes == before.liveBytes,
        "a block was left behind");
  return 0;
}
