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

std::optional<RegistryKey> OpenExistingKey(HKEY parent, const std::wstring& subkey,
                                           REGSAM access) {
  HKEY key = nullptr;
  const LSTATUS status = RegOpenKeyExW(parent, subkey.c_str(), 0, access, &key);
  if (status == ERROR_SUCCESS) return RegistryKey(key);
  if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
  throw RegistryError("Failed to open key", ToUtf8(subkey), static_cast<uint32_t>(status));
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

void DeleteValue(HKEY key, const wchar_t* name) {
  const LSTATUS status = RegDeleteValueW(key, name);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    throw RegistryError("Failed to delete value", std::string(), static_cast<uint32_t>(status));
  }
}

bool DeleteKeyIfEmpty(HKEY parent, const std::wstring& subkey) {
  {
    const std::optional<RegistryKey> key = OpenExistingKey(parent, subkey, KEY_QUERY_VALUE);
    if (!key) return true;
    DWORD subkeys = 0;
    DWORD values = 0;
    const LSTATUS status = RegQueryInfoKeyW(key->Get(), nullptr, nullptr, nullptr, &subkeys,
                                            nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                                            nullptr);
    if (status != ERROR_SUCCESS) {
      throw RegistryError("Failed to query key", ToUtf8(subkey), static_cast<uint32_t>(status));
    }
    if (subkeys != 0 || values != 0) return false;
  }
  // Closed before the delete. A value that someone writes between the count and the delete would
  // go with the key: the registry has no conditional delete, and the window is two calls wide.
  const LSTATUS status = RegDeleteKeyW(parent, subkey.c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    throw RegistryError("Failed to delete key", ToUtf8(subkey), static_cast<uint32_t>(status));
  }
  return true;
}
