// One owner for every Win32 object that has a close call: move-only, closes once, on every path.
// Traits say what the null value is, which values are real objects and how to close one.
#pragma once

#include <windows.h>

namespace fennor {

template <typename Traits>
class ScopedObject {
 public:
  using Handle = typename Traits::Handle;

  ScopedObject() noexcept = default;
  explicit ScopedObject(Handle handle) noexcept : handle_(handle) {}
  ~ScopedObject() { Reset(); }

  ScopedObject(ScopedObject&& other) noexcept : handle_(other.Release()) {}
  ScopedObject& operator=(ScopedObject&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ScopedObject(const ScopedObject&) = delete;
  ScopedObject& operator=(const ScopedObject&) = delete;

  bool IsValid() const noexcept { return Traits::IsValid(handle_); }
  Handle Get() const noexcept { return handle_; }

  // Gives up ownership without closing.
  Handle Release() noexcept {
    const Handle handle = handle_;
    handle_ = Traits::kNull;
    return handle;
  }

  // Closes what it holds, unless that is the handle it is given, and takes that one.
  void Reset(Handle handle = Traits::kNull) noexcept {
    if (handle_ != handle && Traits::IsValid(handle_)) Traits::Close(handle_);
    handle_ = handle;
  }

  // For a call that returns its object through a pointer; whatever was held is closed first.
  Handle* Receive() noexcept {
    Reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::kNull;
};

// Kernel handles. CreateFileW reports failure as INVALID_HANDLE_VALUE, most other calls as null:
// neither is closed.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static constexpr HANDLE kNull = nullptr;
  static bool IsValid(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};
using ScopedHandle = ScopedObject<KernelHandleTraits>;

// Registry keys that an open or create call returned. Never give it a predefined root key
// (HKEY_CURRENT_USER and the like).
struct RegistryKeyTraits {
  using Handle = HKEY;
  static constexpr HKEY kNull = nullptr;
  static bool IsValid(HKEY key) { return key != nullptr; }
  static void Close(HKEY key) { RegCloseKey(key); }
};
using ScopedRegistryKey = ScopedObject<RegistryKeyTraits>;

}  // namespace fennor
