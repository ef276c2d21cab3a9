#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cwchar>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

#include "Registry.h"
#include "RegistryKey.h"

namespace {

static_assert(sizeof(long) == sizeof(int32_t), "wcstol's range check must match int32_t");

// Reads the text as stoi does in base 10: leading white space and a sign are taken, anything after
// the digits is ignored. long is 32 bits on Windows, so ERANGE is exactly the int32_t range.
int32_t ParseRegionCode(const std::wstring& text) {
  const wchar_t* start = text.c_str();
  wchar_t* end = nullptr;
  errno = 0;
  const long value = std::wcstol(start, &end, 10);
  if (end == start) throw std::invalid_argument("invalid stoi argument");
  if (errno == ERANGE) throw std::out_of_range("stoi argument out of range");
  return static_cast<int32_t>(value);
}

bool ReadRegionCodeUnder(HKEY root, int32_t& code) {
  const RegistryKey key = OpenKey(root, L"Software\\Kestrine", KEY_READ, false);
  const std::optional<std::wstring> text = QueryStringValue(key.Get(), L"WendraRegionCode");
  if (!text) return false;
  code = ParseRegionCode(*text);
  return true;
}

}  // namespace

bool ReadRegionCode(int32_t& code) {
  try {
    // A user without the key gets false and a report; the local machine is only asked when the
    // user's key exists without a readable value.
    if (ReadRegionCodeUnder(HKEY_CURRENT_USER, code)) return true;
    return ReadRegionCodeUnder(HKEY_LOCAL_MACHINE, code);
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return false;
  }
}
