#include "launcher/InstallResolution.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "common/Text.h"
#endif

// The macOS rules are those of the macOS build; the host also builds them, into a test-only copy of
// this library, so that the macOS candidate lists run under test where the tests can run.
#if defined(__APPLE__) && !defined(WORKS_LAUNCHER_MACOS_RULES)
#define WORKS_LAUNCHER_MACOS_RULES 1
#endif

namespace works::launcher {
namespace {

namespace fs = std::filesystem;

// Any value that is not Beta is treated as Production, so a stray value can never select the beta
// install by accident.
bool isBeta(Channel channel) { return channel == Channel::Beta; }

Channel otherChannel(Channel channel) {
  return isBeta(channel) ? Channel::Production : Channel::Beta;
}

std::string displayName(Channel channel) {
  return isBeta(channel) ? "Fennor Works (beta)" : "Fennor Works";
}

std::string macosVersionDirectory(Channel channel) { return isBeta(channel) ? "v1-beta" : "v1"; }

std::string linuxDefaultExecutable(Channel channel) {
  return isBeta(channel) ? "/opt/FennorWorksBeta/FennorWorksBeta" : "/opt/FennorWorks/FennorWorks";
}

std::string onlyOtherChannelNote(Channel requested) {
  if (isBeta(requested)) {
    return "\nNote: Only the production version of Fennor Works is installed; install the beta "
           "version first, or remove --beta to launch the production one.";
  }
  return "\nNote: Only the beta version of Fennor Works is installed; install the production "
         "version first, or remove --prod to launch the beta one.";
}

// The library's join, not string concatenation: a base that already ends in a separator gets none
// added, and nothing else is normalised. u8path keeps UTF-8 intact on Windows too.
std::string joinPath(const std::string& base, const std::string& relative) {
  return (fs::u8path(base) / fs::u8path(relative)).u8string();
}

#ifndef _WIN32
std::string homeDirectory() {
  const char* home = std::getenv("HOME");
  return home ? std::string(home) : std::string();
}
#endif

// Any file type counts, directories included; whether it can run is for the spawn to find out. A
// path that cannot be examined (no permission, a dangling link) counts as absent.
bool executableExists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::status(fs::u8path(path), ignored));
}

#ifdef _WIN32
// The "InstallLocation" string value under the channel's subkey, if the installer wrote one. A
// missing key or value is an ordinary "not installed here", not an error; so is a value that is
// not well-formed UTF-16, which names no file this program could find again by its UTF-8 name.
std::optional<std::string> readInstallLocation(HKEY root, Channel channel) {
  const std::optional<std::wstring> subKey = fennor::WideFromUtf8(windowsRegistrySubKey(channel));
  if (!subKey) return std::nullopt;
  DWORD size = 0;
  if (RegGetValueW(root, subKey->c_str(), L"InstallLocation", RRF_RT_REG_SZ, nullptr, nullptr,
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (RegGetValueW(root, subKey->c_str(), L"InstallLocation", RRF_RT_REG_SZ, nullptr, value.data(),
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.resize(wcsnlen(value.c_str(), value.size()));
  return fennor::Utf8FromUtf16(value);
}

// %LOCALAPPDATA% through the wide interface: the narrow one gives the ANSI code page's rendering,
// which loses every character of a user name outside it.
std::optional<std::string> localAppData() {
  const DWORD needed = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::wstring value(needed, L'\0');
  const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), needed);
  if (length == 0 || length >= needed) return std::nullopt;  // changed meanwhile
  value.resize(length);
  return fennor::Utf8FromUtf16(value);
}

// Only an absolute location names an install: an empty or relative one would be looked up in the
// launcher's current directory, and whatever sits there would be started as the application.
bool isAbsoluteLocation(const std::string& location) {
  return !location.empty() && fs::u8path(location).is_absolute();
}

// Windows candidates: the per-user registration (HKEY_CURRENT_USER) before the machine-wide one
// (HKEY_LOCAL_MACHINE), so a user's own install wins as it does on the other platforms; then the
// per-user default folder %LOCALAPPDATA%\Programs\FennorWorks (or FennorWorksBeta), which keeps the
// list, and with it the not-found message, non-empty when no installer registered anything.
std::vector<std::string> windowsExecutablePaths(Channel channel) {
  std::vector<std::string> candidates;
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const std::optional<std::string> location = readInstallLocation(root, channel);
    if (location && isAbsoluteLocation(*location)) {
      candidates.push_back(windowsExecutableFromInstallLocation(*location));
    }
  }
  if (const std::optional<std::string> base = localAppData(); base && isAbsoluteLocation(*base)) {
    const std::string folder =
        isBeta(channel) ? "Programs\\FennorWorksBeta" : "Programs\\FennorWorks";
    candidates.push_back(windowsExecutableFromInstallLocation(joinPath(*base, folder)));
  }
  return candidates;
}
#endif

std::vector<std::string> executableCandidates(Channel channel) {
#if defined(WORKS_LAUNCHER_MACOS_RULES)
  return macosExecutablePaths(channel, homeDirectory());
#elif defined(_WIN32)
  return windowsExecutablePaths(channel);
#else
  return linuxExecutablePaths(channel, homeDirectory());
#endif
}

std::optional<std::string> firstPassing(const std::vector<std::string>& candidates,
                                        bool (*exists)(const std::string&)) {
  for (const std::string& candidate : candidates) {
    if (exists(candidate)) return candidate;
  }
  return std::nullopt;
}

std::string notFoundMessage(Channel channel, const std::vector<std::string>& candidates) {
  std::string joined;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (i > 0) joined += "\" or \"";
    joined += candidates[i];
  }
  const std::string name = displayName(channel);
  return name + " was not found at \"" + joined + "\". Is " + name + " installed?";
}

}  // namespace

Platform currentPlatform() {
#if defined(WORKS_LAUNCHER_MACOS_RULES)
  return Platform::MacOS;
#elif defined(_WIN32)
  return Platform::Windows;
#else
  return Platform::Linux;
#endif
}

std::optional<std::string> defaultExecutablePath(Platform platform, Channel channel) {
  switch (platform) {
    case Platform::MacOS:
      // One bundle name for both channels: whichever was dragged into Applications last.
      return std::string("/Applications/FennorWorks.app/Contents/MacOS/FennorWorks");
    case Platform::Linux:
      return linuxDefaultExecutable(channel);
    default:
      return std::nullopt;
  }
}

std::vector<std::string> macosExecutablePaths(Channel channel, const std::string& home) {
  const std::string relative = "Library/Application Support/Kestrine/Fennor Works/" +
                               macosVersionDirectory(channel) +
                               "/Fennor Works.app/Contents/MacOS/FennorWorks";
  std::vector<std::string> candidates;
  if (!home.empty()) candidates.push_back(joinPath(home, relative));
  candidates.push_back("/" + relative);
  candidates.push_back(*defaultExecutablePath(Platform::MacOS, channel));
  return candidates;
}

std::vector<std::string> linuxExecutablePaths(Channel channel, const std::string& home) {
  const std::string systemWide = *defaultExecutablePath(Platform::Linux, channel);
  std::vector<std::string> candidates;
  if (!home.empty()) {
    const std::string relative = ".local/share/Kestrine/Fennor Works/" +
                                 macosVersionDirectory(channel) + "/" +
                                 fs::path(systemWide).filename().string();
    candidates.push_back(joinPath(home, relative));
  }
  candidates.push_back(systemWide);
  return candidates;
}

std::string windowsRegistrySubKey(Channel channel) {
  return isBeta(channel) ? "Software\\Kestrine\\FennorWorksBeta"
                         : "Software\\Kestrine\\FennorWorks";
}

std::string windowsExecutableFromInstallLocation(const std::string& location) {
  static const std::string kExtension = ".exe";
  if (location.size() >= kExtension.size()) {
    bool endsInExe = true;
    const std::size_t offset = location.size() - kExtension.size();
    for (std::size_t i = 0; i < kExtension.size(); ++i) {
      const auto byte = static_cast<unsigned char>(location[offset + i]);
      if (std::tolower(byte) != kExtension[i]) {
        endsInExe = false;
        break;
      }
    }
    if (endsInExe) return location;
  }
  return joinPath(location, "FennorWorks.exe");
}

std::optional<std::string> firstExistingExecutablePath(const std::vector<std::string>& candidates) {
  return firstPassing(candidates, executableExists);
}

bool isChannelInstalled(Channel channel) {
  return firstExistingExecutablePath(executableCandidates(channel)).has_value();
}

Channel defaultChannel(bool productionInstalled, bool betaInstalled) {
  return betaInstalled && !productionInstalled ? Channel::Beta : Channel::Production;
}

ResolveResult resolveInstalledExecutable(Channel channel) {
  return resolveInstalledExecutable(channel, executableExists);
}

ResolveResult resolveInstalledExecutable(Channel channel, bool (*exists)(const std::string&)) {
  if (!exists) exists = executableExists;

  ResolveResult result;
  const std::vector<std::string> candidates = executableCandidates(channel);
  if (std::optional<std::string> path = firstPassing(candidates, exists)) {
    result.executablePath = std::move(*path);
    result.found = true;
    return result;
  }

  result.errorMessage = notFoundMessage(channel, candidates);
  if (firstPassing(executableCandidates(otherChannel(channel)), exists)) {
    result.errorMessage += onlyOtherChannelNote(channel);
  }
  return result;
}

}  // namespace works::launcher
