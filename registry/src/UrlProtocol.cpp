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

bool IsRegisteredUnder(HKEY root, const std::wstring& scheme, const std::wstring& expected) {
  const RegistryKey command =
      OpenKey(root, SchemeKeyPath(scheme) + L"\\shell\\open\\command", KEY_READ, false);
  const std::optional<std::wstring> stored = QueryStringValue(command.Get(), L"");
  if (!stored) return false;
  // A prefix match: the stored command may carry more after the part we write.
  return _wcsnicmp(stored->c_str(), expected.c_str(), expected.size()) == 0;
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
