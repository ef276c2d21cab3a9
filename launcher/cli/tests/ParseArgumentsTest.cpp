#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/CliOptions.h"

namespace works::cli {
namespace {

using Args = std::vector<std::string>;

struct ParseCase {
  const char* name;
  Args args;
  ChannelRequest channel;
  bool help;
  bool version;
  bool hint;
  std::string error;
  Args forwarded;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class ParseArgumentsTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseArgumentsTest, ProducesExpectedOptions) {
  const ParseCase& c = GetParam();
  const CliOptions options = parseArguments(c.args);
  EXPECT_EQ(options.channel, c.channel);
  EXPECT_EQ(options.showLauncherHelp, c.help);
  EXPECT_EQ(options.showLauncherVersion, c.version);
  EXPECT_EQ(options.showChannelHint, c.hint);
  EXPECT_EQ(options.error, c.error);
  EXPECT_EQ(options.forwardedArgs, c.forwarded);
}

constexpr auto None = ChannelRequest::None;
constexpr auto Production = ChannelRequest::Production;
constexpr auto Beta = ChannelRequest::Beta;
const std::string kBoth = "--prod and --beta cannot be used together";

// clang-format off
INSTANTIATE_TEST_SUITE_P(LauncherSubcommand, ParseArgumentsTest, testing::Values(
  ParseCase{"Alone", {"launcher"}, None, true, false, false, "", {}},
  ParseCase{"LongHelp", {"launcher", "--help"}, None, true, false, false, "", {}},
  ParseCase{"ShortHelp", {"launcher", "-h"}, None, true, false, false, "", {}},
  ParseCase{"LongVersion", {"launcher", "--version"}, None, false, true, false, "", {}},
  ParseCase{"ShortVersion", {"launcher", "-V"}, None, false, true, false, "", {}},
  ParseCase{"VersionThenHelp", {"launcher", "--version", "--help"}, None, true, true, false, "", {}},
  ParseCase{"ChannelOptionIsUnknownHere", {"launcher", "--prod"}, None, false, false, false,
            "unknown launcher argument: --prod", {}},
  ParseCase{"UnknownAfterHelpKeepsHelp", {"launcher", "--help", "start"}, None, true, false, false,
            "unknown launcher argument: start", {}},
  ParseCase{"StopsAtFirstUnknown", {"launcher", "one", "--help", "two"}, None, false, false, false,
            "unknown launcher argument: one", {}},
  ParseCase{"EmptyArgumentIsUnknown", {"launcher", "-V", ""}, None, false, true, false,
            "unknown launcher argument: ", {}},
  ParseCase{"CaseMatters", {"launcher", "-v"}, None, false, false, false,
            "unknown launcher argument: -v", {}}),
  [](const testing::TestParamInfo<ParseCase>& tested) { return std::string(tested.param.name); });

INSTANTIATE_TEST_SUITE_P(ChannelOptions, ParseArgumentsTest, testing::Values(
  ParseCase{"NoArguments", {}, None, false, false, false, "", {}},
  ParseCase{"Prod", {"--prod"}, Production, false, false, false, "", {}},
  ParseCase{"BetaTwice", {"--beta", "--beta"}, Beta, false, false, false, "", {}},
  ParseCase{"AnywhereAndConsumed", {"a", "--prod", "b", "--prod", "c"}, Production, false, false,
            false, "", {"a", "b", "c"}},
  ParseCase{"BothRejectedForwardedCleared", {"--prod", "x", "--beta"}, Production, false, false,
            false, kBoth, {}},
  ParseCase{"BothStopsParsing", {"--beta", "x", "--prod", "--help"}, Beta, false, false, false,
            kBoth, {}},
  ParseCase{"AfterDoubleDashStillConsumed", {"--", "--prod"}, Production, false, false, false, "",
            {"--"}},
  ParseCase{"LookalikesForwarded", {"--PROD", "--Beta", "--prod=1", "--beta ", " --prod", "-prod"},
            None, false, false, false, "", {"--PROD", "--Beta", "--prod=1", "--beta ", " --prod",
            "-prod"}}),
  [](const testing::TestParamInfo<ParseCase>& tested) { return std::string(tested.param.name); });

INSTANTIATE_TEST_SUITE_P(Forwarding, ParseArgumentsTest, testing::Values(
  ParseCase{"LongHelpForwardedWithHint", {"--help"}, None, false, false, true, "", {"--help"}},
  ParseCase{"ShortHelpForwardedWithHint", {"x", "-h"}, None, false, false, true, "", {"x", "-h"}},
  ParseCase{"VersionOutsideSubcommand", {"--version", "-V"}, None, false, false, false, "",
            {"--version", "-V"}},
  ParseCase{"LauncherNotFirst", {"open", "launcher"}, None, false, false, false, "",
            {"open", "launcher"}},
  ParseCase{"LauncherAfterChannel", {"--beta", "launcher", "--version"}, Beta, false, false, false,
            "", {"launcher", "--version"}},
  ParseCase{"EmptyAndOddArguments", {"", "a b", "\"q\"", "$HOME", "new\nline"}, None, false, false,
            false, "", {"", "a b", "\"q\"", "$HOME", "new\nline"}}),
  [](const testing::TestParamInfo<ParseCase>& tested) { return std::string(tested.param.name); });
// clang-format on

}  // namespace
}  // namespace works::cli
