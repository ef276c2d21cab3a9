// FennorWorks: runs the installed Fennor Works application and exits with its status.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "launcher/InstallResolution.h"
#include "launcher/LaunchAndWait.h"

namespace {

using works::cli::ChannelRequest;
using works::cli::CliOptions;
using works::launcher::Channel;

constexpr int kExitUsage = 2;
constexpr int kExitLaunchFailed = 126;
constexpr int kExitNotInstalled = 127;

void write(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

// The launcher's own answers: usage errors, help and version. Nothing is looked up on these paths.
std::optional<int> answerWithoutLaunching(const CliOptions& options) {
  if (!options.error.empty()) {
    write(stderr, "FennorWorks: " + options.error + "\n\n" + works::cli::usageText());
    return kExitUsage;
  }
  if (options.showLauncherHelp) {
    write(stdout, works::cli::usageText());
    return 0;
  }
  if (options.showLauncherVersion) {
    write(stdout, std::string("FennorWorks launcher ") + works::cli::kLauncherVersion + "\n");
    return 0;
  }
  return std::nullopt;
}

Channel chooseChannel(ChannelRequest request) {
  switch (request) {
    case ChannelRequest::Production:
      return Channel::Production;
    case ChannelRequest::Beta:
      return Channel::Beta;
    default: {
      // Both are asked, production first, so the choice never depends on evaluation order.
      const bool productionInstalled = works::launcher::isChannelInstalled(Channel::Production);
      const bool betaInstalled = works::launcher::isChannelInstalled(Channel::Beta);
      return works::launcher::defaultChannel(productionInstalled, betaInstalled);
    }
  }
}

int launchApplication(const CliOptions& options) {
  const works::launcher::ResolveResult resolved =
      works::launcher::resolveInstalledExecutable(chooseChannel(options.channel));
  if (!resolved.found) {
    write(stderr, "FennorWorks: " + resolved.errorMessage + "\n");
    return kExitNotInstalled;
  }

  std::string error;
  const std::optional<int> status =
      works::launcher::launchAndWait(resolved.executablePath, options.forwardedArgs, error);
  if (!status) {
    write(stderr,
          "FennorWorks: failed to launch \"" + resolved.executablePath + "\": " + error + "\n");
    return kExitLaunchFailed;
  }
  // Only now, so the notes follow the application's own help instead of interleaving with it.
  if (options.showChannelHint) write(stdout, "\n" + works::cli::channelHintText());
  return *status;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);

  const CliOptions options = works::cli::parseArguments(args);
  if (std::optional<int> status = answerWithoutLaunching(options)) return *status;
  return launchApplication(options);
}
