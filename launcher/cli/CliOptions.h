// The launcher's command line: what the user asked for, parsed without side effects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace works::cli {

// Kept apart from works::launcher::Channel: "no request" is a state of the command line only; the
// entry point turns it into a concrete channel by looking at what is installed.
enum class ChannelRequest : std::int32_t {
  None = 0,
  Production = 1,
  Beta = 2,
};

struct CliOptions {
  ChannelRequest channel = ChannelRequest::None;
  bool showLauncherHelp = false;
  bool showLauncherVersion = false;
  // The application answers --help itself; the launcher adds its own channel notes afterwards.
  bool showChannelHint = false;
  // Non-empty means the command line is rejected; no program prefix.
  std::string error;
  std::vector<std::string> forwardedArgs;
};

inline constexpr char kLauncherVersion[] = "0.5.0";

// args are argv[1] to argv[argc-1]. Never throws and never prints: a rejected command line comes
// back as a non-empty error.
CliOptions parseArguments(const std::vector<std::string>& args);

std::string usageText();
std::string channelHintText();

}  // namespace works::cli
