// The shared registry library: per-user URL-protocol registration and the discovery region code.
// Compiled into the addon and the protocol handler.
//
// The public operations never throw a standard exception: each writes the exception's what()
// and a newline to std::cerr and answers false.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>

// A failed registry call: what failed, on which key path (UTF-8; empty for a value write) and the
// status code the call returned. what() appends the system's text for that status.
class RegistryError : public std::exception {
 public:
  RegistryError(std::string message, std::string keyPath, uint32_t errorCode);
  const char* what() const noexcept override;

  std::string message;
  std::string keyPath;
  uint32_t errorCode;

 private:
  std::string whatText_;
};

// Writes HKCU\SOFTWARE\Classes\<scheme> so that opening a URL of the scheme of protocolUri (the text
// before "://") runs programPath with --open-url and the URL.
bool RegisterUrlProtocol(const wchar_t* protocolUri, const wchar_t* programPath);

// Whether the scheme's open command starts with the command RegisterUrlProtocol would write for
// programPath, compared without regard to case: current user first, then the local machine.
bool IsUrlProtocolRegistered(const wchar_t* protocolUri, const wchar_t* programPath);

// Removes the current user's registration of the scheme of protocolUri when its open command
// starts programPath (the command RegisterUrlProtocol would write, compared as the lookup does),
// deleting only what RegisterUrlProtocol writes. True when it removed the registration or none was
// there; false, with nothing removed, when the command starts another program.
bool UnregisterUrlProtocol(const wchar_t* protocolUri, const wchar_t* programPath);

// Reads "WendraRegionCode" under Software\Kestrine, current user first, then the local machine.
// Leaves code untouched when it answers false.
bool ReadRegionCode(int32_t& code);

std::wstring QuoteCommandPath(const std::wstring& path);
std::string ToUtf8(const std::wstring& text);
