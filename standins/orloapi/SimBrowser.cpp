#include "SimBrowser.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <stdexcept>

#include "SimResources.h"
#include "common/Win32Error.h"
#include "SimText.h"

namespace orlosim {
namespace {

struct BrowserError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

using fennor::CallFailed;

std::wstring RegisteredOpenCommand(const std::wstring& scheme) {
  std::wstring path = L"Software\\Classes\\" + scheme + L"\\shell\\open\\command";
  ScopedRegKey key;
  LSTATUS status =
      RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, key.Receive());
  if (status != ERROR_SUCCESS) throw BrowserError(CallFailed("RegOpenKeyExW", status));
  DWORD type = 0, bytes = 0;
  status = RegQueryValueExW(key.Get(), nullptr, nullptr, &type, nullptr, &bytes);
  if (status != ERROR_SUCCESS) throw BrowserError(CallFailed("RegQueryValueExW", status));
  if (type != REG_SZ && type != REG_EXPAND_SZ) throw BrowserError("open command is not a string");
  std::wstring command(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(command.size() * sizeof(wchar_t));
  status = RegQueryValueExW(key.Get(), nullptr, nullptr, &type,
                            reinterpret_cast<BYTE*>(command.data()), &bytes);
  if (status != ERROR_SUCCESS) throw BrowserError(CallFailed("RegQueryValueExW", status));
  command.resize(wcsnlen(command.c_str(), command.size()));
  return command;
}

// Unguessable enough for a simulated authorization code; it only has to differ between sign-ins.
std::wstring RandomCode() {
  static std::atomic<unsigned> sequence{0};
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  unsigned long long mixed =
      static_cast<unsigned long long>(now.QuadPart) * 6364136223846793005ULL +
      GetCurrentProcessId() * 1442695040888963407ULL + (++sequence);
  wchar_t text[17];
  std::swprintf(text, 17, L"%016llx", mixed);
  return text;
}

}  // namespace

std::string OpenRedirectLikeBrowser(std::wstring_view redirectUri, std::wstring_view state) {
  std::wstring uri(redirectUri);
  std::wstring url = uri + (uri.find(L'?') == std::wstring::npos ? L"?" : L"&") + L"code=" +
                     RandomCode() + L"&state=" + std::wstring(state);
  std::string report = "{\"url\":" + JsonStringFromWide(url);
  try {
    size_t colon = uri.find(L':');
    if (colon == std::wstring::npos || colon == 0) {
      throw BrowserError("redirectUri has no scheme");
    }
    std::wstring command = RegisteredOpenCommand(uri.substr(0, colon));
    report += ",\"command\":" + JsonStringFromWide(command);
    for (size_t at = command.find(L"%1"); at != std::wstring::npos;
         at = command.find(L"%1", at + url.size())) {
      command.replace(at, 2, url);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      throw BrowserError(CallFailed("CreateProcessW", GetLastError()));
    }
    ScopedHandle processHandle(process.hProcess);
    ScopedHandle threadHandle(process.hThread);
    report += ",\"pid\":" + std::to_string(process.dwProcessId);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "OrloApi simulator: browser: %s\n", error.what());
    report += ",\"error\":" + JsonStringFromUtf8(error.what());
  }
  return report + "}";
}

}  // namespace orlosim
