// Key-level building blocks of the registry library, shared by its operations and its tests.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "common/Win32Handle.h"

// Sole owner of an open registry key: closes it with RegCloseKey when it goes out of scope, so
// every path out of an operation, an exception included, releases the keys it opened. Never give it
// one of the predefined root keys (HKEY_CURRENT_USER and the like).
using RegistryKey = fennor::ScopedRegistryKey;

// Opens parent\subkey with the given access; when that fails and create is set, creates it (or
// opens it, if it appeared meanwhile). Raises RegistryError naming the subkey and the failing
// call's status.
RegistryKey OpenKey(HKEY parent, const std::wstring& subkey, REGSAM access, bool create);

// Like OpenKey without create, but a key that does not exist (or a missing key on its path) is
// nullopt rather than an error.
std::optional<RegistryKey> OpenExistingKey(HKEY parent, const std::wstring& subkey, REGSAM access);

// Writes a REG_SZ value, terminator included; an empty name is the key's default value. Raises
// RegistryError with the call's status.
void SetStringValue(HKEY key, const std::wstring& name, const std::wstring& data);

// The text of a REG_SZ value, up to its first terminator; nullopt when the value is missing, of
// another type or cannot be read. The key needs KEY_QUERY_VALUE.
std::optional<std::wstring> QueryStringValue(HKEY key, const wchar_t* name);

// Deletes a value; a value that is not there is not an error. Raises RegistryError with the call's
// status. The key needs KEY_SET_VALUE.
void DeleteValue(HKEY key, const wchar_t* name);

// Deletes parent\subkey when it holds no value and no subkey, and says whether it did. A missing
// key counts as deleted. Raises RegistryError naming the subkey when a call fails.
bool DeleteKeyIfEmpty(HKEY parent, const std::wstring& subkey);
