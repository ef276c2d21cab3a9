#include <windows.h>

#include <cwchar>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

#include "Registry.h"
#include "RegistryKey.h"

namespace {

const wchar_t kClassesKey[] = L"SOFTWARE\\Classes";
const wchar_t kOpenCommandSuffix[] = L" --open-url \"%1\"";

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// URI scheme syntax: a letter, then letters, digits, "+", "-" and ".", all ASCII. The scheme
// becomes a key name under the classes root, so anything else is refused: an empty scheme would
// name the root itself, a backslash reach into another class's keys, and a space, "%" or a
// non-ASCII letter give a key that no browser would ever look up.
bool IsValidScheme(const std::wstring& scheme) {
  if (scheme.empty() || !IsAsciiLetter(scheme.front())) return false;
  for (const wchar_t c : scheme) {
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != L'+' && c != L'-' && c != L'.') return false;
  }
  return true;
}

// The text before the first "://", when it is a well-formed scheme.
std::wstring SchemeOf(const wchar_t* protocolUri) {
  if (protocolUri == nullptr) throw std::invalid_argument("Invalid protocol uri");
  const std::wstring uri(protocolUri);
  const size_t end = uri.find(L"://");
  if (end == std::wstring::npos || !IsValidScheme(uri.substr(0, end))) {
    throw std::invalid_argument("Invalid protocol uri");
  }
  return uri.substr(0, end);
}

std::wstring OpenCommand(const wchar_t* programPath) {
  if (programPath == nullptr) throw std::invalid_argument("Invalid program path");
  return QuoteCommandPath(programPath) + kOpenCommandSuffix;
}

std::wstring SchemeKeyPath(const std::wstring& scheme) {
  return std::wstring(kClassesKey) + L"\\" + scheme;
}

std::wstring CommandKeyPath(const std::wstring& scheme) {
  return SchemeKeyPath(scheme) + L"\\shell\\open\\command";
}

// Whether a stored open command starts the program whose command is expected. A prefix match: the
// stored command may carry more after the part we write.
bool StartsWithCommand(const std::optional<std::wstring>& stored, const std::wstring& expected) {
  return stored && _wcsnicmp(stored->c_str(), expected.c_str(), expected.size()) == 0;
}

bool IsRegisteredUnder(HKEY root, const std::wstring& scheme, const std::wstring& expected) {
  const RegistryKey command = OpenKey(root, CommandKeyPath(scheme), KEY_READ, false);
  return StartsWithCommand(QueryStringValue(command.Get(), L""), expected);
}

enum class Registration { kNone, kThisProgram, kOtherProgram };

// Whose open command the current user's registration of the scheme holds. No command key, or one
// without a default value, starts no program: nothing is registered.
Registration CurrentUserRegistration(const std::wstring& scheme, const std::wstring& expected) {
  const std::optional<RegistryKey> command =
      OpenExistingKey(HKEY_CURRENT_USER, CommandKeyPath(scheme), KEY_QUERY_VALUE);
  if (!command) return Registration::kNone;
  if (RegQueryValueExW(command->Get(), L"", nullptr, nullptr, nullptr, nullptr) ==
      ERROR_FILE_NOT_FOUND) {
    return Registration::kNone;
  }
  // The same test as the lookup: whatever IsUrlProtocolRegistered finds for this program under the
  // current user is what gets removed. A REG_EXPAND_SZ command is never one we wrote.
  return StartsWithCommand(QueryStringValue(command->Get(), L""), expected)
             ? Registration::kThisProgram
             : Registration::kOtherProgram;
}

// Undoes what RegisterUrlProtocol writes, and nothing else: the scheme key's two values and the
// command's default value by name, then each key of the chain from the innermost outwards, as long
// as it is left empty. Another program's values or subkeys anywhere keep their key and the keys
// above it. Both keys whose values go are opened for writing before anything is deleted, so a
// denied access leaves the registration whole; the command's value goes last of the three, so that
// a run stopped among them still finds the registration its own and can be repeated.
void RemoveRegistration(const std::wstring& scheme) {
  const std::wstring schemePath = SchemeKeyPath(scheme);
  {
    const RegistryKey schemeKey = OpenKey(HKEY_CURRENT_USER, schemePath, KEY_SET_VALUE, false);
    const RegistryKey command =
        OpenKey(HKEY_CURRENT_USER, CommandKeyPath(scheme), KEY_SET_VALUE, false);
    DeleteValue(schemeKey.Get(), L"URL Protocol");
    DeleteValue(schemeKey.Get(), L"");
    DeleteValue(command.Get(), L"");
  }
  for (const wchar_t* below : {L"\\shell\\open\\command", L"\\shell\\open", L"\\shell", L""}) {
    // A key that stays holds the next one up in place too.
    if (!DeleteKeyIfEmpty(HKEY_CURRENT_USER, schemePath + below)) return;
  }
}

}  // namespace

std::wstring QuoteCommandPath(const std::wstring& path) {
  if (path.empty()) return path;
  std::wstring quoted = path;
  if (quoted.front() != L'"') quoted.insert(quoted.begin(), L'"');
  if (quoted.back() != L'"') quoted.push_back(L'"');
  return quoted;
}

bool RegisterUrlProtocol(const wchar_t* protocolUri, const wchar_t* programPath) {
  try {
    // Both arguments are checked before anything is written.
    const std::wstring scheme = SchemeOf(protocolUri);
    const std::wstring command = OpenCommand(programPath);
    const RegistryKey schemeKey =
        OpenKey(HKEY_CURRENT_USER, SchemeKeyPath(scheme), KEY_WRITE, true);
    SetStringValue(schemeKey.Get(), L"URL Protocol", L"");
    SetStringValue(schemeKey.Get(), L"", L"URL:" + scheme);
    // Declared in this order so they close innermost first.
    const RegistryKey shell = OpenKey(schemeKey.Get(), L"shell", KEY_WRITE, true);
    const RegistryKey open = OpenKey(shell.Get(), L"open", KEY_WRITE, true);
    const RegistryKey commandKey = OpenKey(open.Get(), L"command", KEY_WRITE, true);
    SetStringValue(commandKey.Get(), L"", command);
    return true;
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return false;
  }
}

bool IsUrlProtocolRegistered(const wchar_t* protocolUri, const wchar_t* programPath) {
  try {
    // A user without the command key gets false and a report; the local machine is only asked when
    // the user's key exists and does not match.
    const std::wstring scheme = SchemeOf(protocolUri);
    const std::wstring expected = OpenCommand(programPath);
    if (IsRegisteredUnder(HKEY_CURRENT_USER, scheme, expected)) return true;
    return IsRegisteredUnder(HKEY_LOCAL_MACHINE, scheme, expected);
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return false;
  }
}

bool UnregisterUrlProtocol(const wchar_t* protocolUri, const wchar_t* programPath) {
  try {
    const std::wstring scheme = SchemeOf(protocolUri);
    const std::wstring expected = OpenCommand(programPath);
    switch (CurrentUserRegistration(scheme, expected)) {
      case Registration::kNone:
        return true;
      case Registration::kOtherProgram:
        throw std::runtime_error("Protocol is registered for another program");
      case Registration::kThisProgram:
        RemoveRegistration(scheme);
        return true;
    }
    return false;
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return false;
  }
}
