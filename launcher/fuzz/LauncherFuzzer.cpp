// Whatever a user's shell passes reaches the launcher's parser, and HOME reaches its messages. The
// first input byte chooses what the rest is:
//   even  a command line: arguments separated by NUL bytes, given to parseArguments
//   odd   an install scene: a channel, a mask of which candidate paths exist, and HOME, given to
//         resolveInstalledExecutable with a test function that answers from the mask
//
// Every run checks the result against the parser's and the resolver's contract, written here
// independently of their code.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "launcher/InstallResolution.h"

namespace {

using works::cli::ChannelRequest;
using works::cli::CliOptions;
using works::launcher::Channel;

[[noreturn]] void Fail(const char* what) {
  std::cerr << "launcher_fuzzer: " << what << std::endl;
  std::abort();
}

void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}

bool IsHelp(const std::string& a) { return a == "--help" || a == "-h"; }
bool IsVersion(const std::string& a) { return a == "--version" || a == "-V"; }

void CheckLauncherSubcommand(const std::vector<std::string>& args, const CliOptions& options) {
  Check(options.forwardedArgs.empty() && options.channel == ChannelRequest::None &&
            !options.showChannelHint,
        "launcher subcommand forwarded something or chose a channel");
  size_t firstUnknown = 0;
  for (size_t i = 1; i < args.size() && !firstUnknown; ++i) {
    if (!IsHelp(args[i]) && !IsVersion(args[i])) firstUnknown = i;
  }
  if (firstUnknown) {
    Check(options.error == "unknown launcher argument: " + args[firstUnknown],
          "wrong error for an unknown launcher argument");
    return;
  }
  Check(options.error.empty(), "error for a valid launcher subcommand");
  bool help = args.size() == 1, version = false;
  for (size_t i = 1; i < args.size(); ++i) {
    help = help || IsHelp(args[i]);
    version = version || IsVersion(args[i]);
  }
  Check(options.showLauncherHelp == help && options.showLauncherVersion == version,
        "launcher help or version flag wrong");
}

void CheckCommandLine(const std::vector<std::string>& args) {
  const CliOptions options = works::cli::parseArguments(args);
  if (!args.empty() && args[0] == "launcher") {
    CheckLauncherSubcommand(args, options);
    return;
  }
  Check(!options.showLauncherHelp && !options.showLauncherVersion,
        "launcher flags set outside the subcommand");
  bool prod = false, beta = false;
  std::vector<std::string> forwarded;
  bool hint = false;
  for (const std::string& arg : args) {
    prod = prod || arg == "--prod";
    beta = beta || arg == "--beta";
    if (arg != "--prod" && arg != "--beta") {
      forwarded.push_back(arg);
      hint = hint || IsHelp(arg);
    }
  }
  if (prod && beta) {
    Check(options.error == "--prod and --beta cannot be used together",
          "conflicting channels not rejected");
    Check(options.forwardedArgs.empty(), "a rejected command line forwards arguments");
    return;
  }
  Check(options.error.empty(), "error for an acceptable command line");
  Check(options.forwardedArgs == forwarded, "forwarded arguments differ");
  Check(options.showChannelHint == hint, "channel hint flag wrong");
  const ChannelRequest channel =
      prod ? ChannelRequest::Production : beta ? ChannelRequest::Beta : ChannelRequest::None;
  Check(options.channel == channel, "channel request wrong");
}

// The candidate test of the resolver is a plain function pointer, so the scene lives here.
std::vector<std::string> gExisting;
bool ExistsInScene(const std::string& path) {
  for (const std::string& existing : gExisting) {
    if (existing == path) return true;
  }
  return false;
}

void CheckResolution(const uint8_t* data, size_t size) {
  if (size < 2) return;
  const Channel channel = data[0] & 1 ? Channel::Beta : Channel::Production;
  const uint8_t mask = data[1];
  const std::string home(reinterpret_cast<const char*>(data + 2), size - 2);
  // HOME cannot carry a NUL byte; setenv would cut it there anyway.
  const std::string homeValue = home.substr(0, home.find('\0'));
  if (homeValue.empty()) {
    unsetenv("HOME");
  } else {
    setenv("HOME", homeValue.c_str(), 1);
  }

  const auto candidates = works::launcher::macosExecutablePaths(channel, homeValue);
  const Channel other = channel == Channel::Beta ? Channel::Production : Channel::Beta;
  const auto otherCandidates = works::launcher::macosExecutablePaths(other, homeValue);
  Check(candidates.size() == (homeValue.empty() ? 2u : 3u), "wrong number of candidates");
  gExisting.clear();
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (mask & (1u << i)) gExisting.push_back(candidates[i]);
    if (mask & (1u << (i + 3))) gExisting.push_back(otherCandidates[i]);
  }

  const works::launcher::ResolveResult result =
      works::launcher::resolveInstalledExecutable(channel, ExistsInScene);
  for (const std::string& candidate : candidates) {
    if (ExistsInScene(candidate)) {
      Check(result.found && result.executablePath == candidate && result.errorMessage.empty(),
            "did not resolve to the first existing candidate");
      return;
    }
  }
  Check(!result.found && result.executablePath.empty(), "resolved although nothing exists");

  const std::string name = channel == Channel::Beta ? "Fennor Works (beta)" : "Fennor Works";
  std::string message = name + " was not found at ";
  for (size_t i = 0; i < candidates.size(); ++i) {
    message += (i ? " or \"" : "\"") + candidates[i] + "\"";
  }
  message += ". Is " + name + " installed?";
  bool otherInstalled = false;
  for (const std::string& candidate : otherCandidates) otherInstalled |= ExistsInScene(candidate);
  if (otherInstalled) {
    message += channel == Channel::Beta
                   ? "\nNote: Only the production version of Fennor Works is installed; install "
                     "the beta version first, or remove --beta to launch the production one."
                   : "\nNote: Only the beta version of Fennor Works is installed; install the "
                     "production version first, or remove --prod to launch the beta one.";
  }
  Check(result.errorMessage == message, "not-found message differs");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1) {
    CheckResolution(data + 1, size - 1);
    return 0;
  }
  std::vector<std::string> args;
  if (size > 1) {
    std::string current;
    for (size_t i = 1; i < size; ++i) {
      if (data[i] == 0) {
        args.push_back(current);
        current.clear();
      } else {
        current.push_back(static_cast<char>(data[i]));
      }
    }
    args.push_back(current);
  }
  CheckCommandLine(args);
  return 0;
}
