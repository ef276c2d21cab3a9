// Where the Fennor Works application is installed, per channel and platform. Every call looks at
// the filesystem afresh: installs come and go while users keep terminals open.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace works::launcher {

enum class Channel {
  Production = 0,
  Beta = 1,
};

enum class Platform {
  MacOS = 0,
  Linux = 1,
  Windows = 2,
};

struct ResolveResult {
  std::string executablePath;  // empty when nothing was found
  std::string errorMessage;    // the not-found message; empty when something was found
  bool found = false;
};

// The platform this program was built for; it decides which candidate list is used.
Platform currentPlatform();

// The fixed install of a channel outside any home directory; none on Windows, where the install
// location comes from the registry.
std::optional<std::string> defaultExecutablePath(Platform platform, Channel channel);

// Per-user bundle (when home is non-empty), machine-wide bundle, then the Applications bundle.
std::vector<std::string> macosExecutablePaths(Channel channel, const std::string& home);

// Per-user install (when home is non-empty), then the channel's install under /opt.
std::vector<std::string> linuxExecutablePaths(Channel channel, const std::string& home);

std::string windowsRegistrySubKey(Channel channel);

// An install location names either the executable itself or the folder that holds it.
std::string windowsExecutableFromInstallLocation(const std::string& location);

std::optional<std::string> firstExistingExecutablePath(const std::vector<std::string>& candidates);

bool isChannelInstalled(Channel channel);

// Production wins whenever it is installed; beta is chosen only when it is the one install present.
Channel defaultChannel(bool productionInstalled, bool betaInstalled);

ResolveResult resolveInstalledExecutable(Channel channel);

// Same as above with a caller-supplied existence test, so tests can present any filesystem. A null
// test means the real filesystem.
ResolveResult resolveInstalledExecutable(Channel channel, bool (*exists)(const std::string&));

}  // namespace works::launcher
