#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "Registry.h"
#include "common/Text.h"

namespace {

// Frees a FormatMessageA buffer even if copying it out throws.
struct LocalBuffer {
  char* text = nullptr;
  ~LocalBuffer() {
    if (text != nullptr) LocalFree(text);
  }
};

// The system's message for a status, trailing line break included; empty when the system has none.
std::string SystemText(uint32_t errorCode) {
  LocalBuffer buffer;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, errorCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<LPSTR>(&buffer.text), 0, nullptr);
  if (length == 0 || buffer.text == nullptr) return std::string();
  return std::string(buffer.text, length);
}

}  // namespace

// The text is composed once, here, so what() stays the same for the object's whole life and a copy
// carries the same text.
RegistryError::RegistryError(std::string message, std::string keyPath, uint32_t errorCode)
    : message(std::move(message)), keyPath(std::move(keyPath)), errorCode(errorCode) {
  whatText_ = "Registry Error: " + this->message + " at: \"" + this->keyPath +
              "\". Error: " + SystemText(errorCode);
}

const char* RegistryError::what() const noexcept { return whatText_.c_str(); }

std::string ToUtf8(const std::wstring& text) {
  std::optional<std::string> utf8 = fennor::Utf8ByCodePage(text);
  if (!utf8) throw std::runtime_error("WideCharToMultiByte failed");
  return std::move(*utf8);
}
