#include <windows.h>

#include <climits>
#include <stdexcept>

#include "common/Text.h"

namespace fennor {

std::optional<std::string> Utf8ByCodePage(std::wstring_view text) {
  if (text.empty()) return std::string();
  if (text.size() > static_cast<size_t>(INT_MAX)) {
    throw std::length_error("text too long for WideCharToMultiByte");
  }
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::nullopt;
  std::string result(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), size, nullptr,
                          nullptr) != size) {
    return std::nullopt;
  }
  return result;
}

}  // namespace fennor
