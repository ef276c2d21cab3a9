// Owners of the Win32 resources the simulator opens: each closes its resource once, on every path.
#pragma once

#include <windows.h>

#include <utility>

namespace orlosim {

class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() { Close(); }

  // CreateFileW reports failure as INVALID_HANDLE_VALUE, most other calls as null.
  bool IsValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  void Close() {
    if (IsValid()) CloseHandle(handle_);
    handle_ = nullptr;
  }
  HANDLE handle_ = nullptr;
};

class ScopedRegKey {
 public:
  ScopedRegKey() = default;
  ScopedRegKey(ScopedRegKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  ScopedRegKey& operator=(ScopedRegKey&&) = delete;
  ScopedRegKey(const ScopedRegKey&) = delete;
  ScopedRegKey& operator=(const ScopedRegKey&) = delete;
  ~ScopedRegKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }

  HKEY Get() const { return key_; }
  // For the open call to fill; only on a key that holds nothing yet.
  HKEY* Receive() { return &key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace orlosim
