#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "Registry.h"
#include "common/Text.h"
#include "common/Win32Error.h"

// The text is composed once, here, so what() stays the same for the object's whole life and a copy
// carries the same text.
RegistryError::RegistryError(std::string message, std::string keyPath, uint32_t errorCode)
    : message(std::move(message)), keyPath(std::move(keyPath)), errorCode(errorCode) {
  whatText_ = "Registry Error: " + this->message + " at: \"" + this->keyPath +
              "\". Error: " + fennor::SystemText(errorCode);
}

const char* RegistryError::what() const noexcept { return whatText_.c_str(); }

std::string ToUtf8(const std::wstring& text) {
  std::optional<std::string> utf8 = fennor::Utf8ByCodePage(text);
  if (!utf8) throw std::runtime_error("WideCharToMultiByte failed");
  return std::move(*utf8);
}
