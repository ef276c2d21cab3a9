#include "RegistryKey.h"

#include <windows.h>

#include <climits>
#include <stdexcept>
#include <string>

#include "Registry.h"

RegistryKey OpenKey(HKEY parent, const std::wstring& subkey, REGSAM access, bool create) {
  HKEY key = nullptr;
  const LSTATUS openStatus = RegOpenKeyExW(parent, subkey.c_str(), 0, access, &key);
  if (openStatus == ERROR_SUCCESS) return RegistryKey(key);
  if (!create) {
    throw RegistryError("Failed to open key", ToUtf8(subkey), static_cast<uint32_t>(openStatus));
  }
  const LSTATUS createStatus = RegCreateKeyExW(
      parent, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
  if (createStatus != ERROR_SUCCESS) {
    // The trailing space tells a failed create from a failed plain open in a report line.
    throw RegistryError("Failed to open key ", ToUtf8(subkey), static_cast<uint32_t>(createStatus));
  }
  return RegistryKey(key);
}

void SetStringValue(HKEY key, const std::wstring& name, const std::wstring& data) {
  // The stored size counts the terminator, so readers that trust the size get a terminated string.
  const size_t bytes = (data.size() + 1) * sizeof(wchar_t);
  if (bytes > static_cast<size_t>(ULONG_MAX)) throw std::length_error("registry value too long");
  const LSTATUS status =
      RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>(bytes));
  if (status != ERROR_SUCCESS) {
    throw RegistryError("Failed to set string value", std::string(), static_cast<uint32_t>(status));
  }
}

std::optional<std::wstring> QueryStringValue(HKEY key, const wchar_t* name) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::nullopt;
  }
  // Zero-filled and one unit longer than the data: a value stored without its terminator, or with
  // an odd byte count, still reads as a terminated string.
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  DWORD read = size;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &read) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::nullopt;
  }
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}
