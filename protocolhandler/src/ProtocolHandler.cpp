#include "ProtocolHandler.h"

#include <windows.h>

#include <iostream>
#include <optional>

#include "PipeCommunicationHandler.h"
#include "Registry.h"
#include "StateDecoding.h"
#include "common/Text.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

void WriteLine(const char* text) { std::cout << text << std::endl; }

// The full path of this executable, however long: a truncated path would register a command that
// starts nothing.
bool GetOwnPath(std::wstring& path) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      const DWORD error = GetLastError();
      std::cerr << "GetModuleFileNameW failed with GLE " << error << std::endl;
      return false;
    }
    if (length < buffer.size()) {
      buffer.resize(length);
      path = std::move(buffer);
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

int Register(const std::wstring& protocolUri) {
  std::wstring ownPath;
  if (!GetOwnPath(ownPath)) return kExitFailure;
  // Reports its own failures on standard error.
  return RegisterUrlProtocol(protocolUri.c_str(), ownPath.c_str()) ? kExitSuccess : kExitFailure;
}

int Unregister(const std::wstring& protocolUri) {
  std::wstring ownPath;
  if (!GetOwnPath(ownPath)) return kExitFailure;
  // Reports its own failures, a scheme of another program's included, on standard error.
  return UnregisterUrlProtocol(protocolUri.c_str(), ownPath.c_str()) ? kExitSuccess : kExitFailure;
}

int OpenUrl(const std::wstring& url) {
  // The system's converter, whose flags 0 replace an unpaired surrogate rather than fail.
  const std::optional<std::string> utf8Url = fennor::Utf8ByCodePage(url);
  if (!utf8Url) {
    WriteLine("Unable to encode the data to utf8");
    return kExitFailure;
  }
  std::u16string pipeName;
  if (!DecodePipeName(std::u16string(url.begin(), url.end()).c_str(), pipeName)) {
    WriteLine("Unable to decode pipe name");
    return kExitFailure;
  }
  PipeCommunicationHandler pipe(std::wstring(pipeName.begin(), pipeName.end()));
  if (pipe.OpenPipe() != PipeCommunicationHandler::kSuccess) {
    WriteLine("Unable to open the named pipe");
    return kExitFailure;
  }
  return pipe.SendToPipe(utf8Url->c_str()) == PipeCommunicationHandler::kSuccess ? kExitSuccess
                                                                                 : kExitFailure;
}

}  // namespace

int RunProtocolHandler(const std::vector<std::wstring>& args) {
  if (args.size() < 3) {
    WriteLine("Please specify and argument. Usage handler.exe register/open-url <value>");
    return kExitFailure;
  }
  const std::wstring& command = args[1];
  const std::wstring& value = args[2];
  if (_wcsicmp(command.c_str(), L"--register") == 0) return Register(value);
  if (_wcsicmp(command.c_str(), L"--open-url") == 0) return OpenUrl(value);
  if (_wcsicmp(command.c_str(), L"--unregister") == 0) return Unregister(value);
  WriteLine("Invalid argument. Usage handler.exe <arg>");
  return kExitFailure;
}
