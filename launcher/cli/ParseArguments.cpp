#include "cli/CliOptions.h"

namespace works::cli {
namespace {

bool isHelpFlag(const std::string& arg) { return arg == "--help" || arg == "-h"; }
bool isVersionFlag(const std::string& arg) { return arg == "--version" || arg == "-V"; }

void parseLauncherSubcommand(const std::vector<std::string>& args, CliOptions& options) {
  if (args.size() == 1) {
    options.showLauncherHelp = true;
    return;
  }
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (isHelpFlag(arg)) {
      options.showLauncherHelp = true;
    } else if (isVersionFlag(arg)) {
      options.showLauncherVersion = true;
    } else {
      options.error = "unknown launcher argument: " + arg;
      return;
    }
  }
}

}  // namespace

CliOptions parseArguments(const std::vector<std::string>& args) {
  CliOptions options;
  if (!args.empty() && args.front() == "launcher") {
    parseLauncherSubcommand(args, options);
    return options;
  }

  for (const std::string& arg : args) {
    ChannelRequest requested = ChannelRequest::None;
    if (arg == "--prod") {
      requested = ChannelRequest::Production;
    } else if (arg == "--beta") {
      requested = ChannelRequest::Beta;
    }

    if (requested != ChannelRequest::None) {
      if (options.channel != ChannelRequest::None && options.channel != requested) {
        options.error = "--prod and --beta cannot be used together";
        options.forwardedArgs.clear();
        return options;
      }
      options.channel = requested;
      continue;  // channel options are the launcher's own and never reach the application
    }

    if (isHelpFlag(arg)) {
      options.showChannelHint = true;
    }
    options.forwardedArgs.push_back(arg);
  }
  return options;
}

}  // namespace works::cli
