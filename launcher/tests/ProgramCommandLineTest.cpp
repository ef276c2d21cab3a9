// The program's own answers: help, version and usage errors, none of which may start the
// application.
#include <filesystem>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "tests/ProgramTestSupport.h"

namespace works::launcher::testing {
namespace {

struct AnswerCase {
  const char* name;
  std::vector<std::string> args;
  int status;
  std::string out;
  std::string err;
};

void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class ProgramAnswersTest : public ProgramTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(ProgramAnswersTest, AnswersWithoutStartingTheApplication) {
  // An installed application that would leave a trace if it were started.
  installFakeApplication(false);
  installFakeApplication(true);
  const std::string trace = scratchPath("started");

  const RunResult result = run(GetParam().args, {{"FAKE_APP_STARTED", trace}});
  EXPECT_EQ(result.exitStatus, GetParam().status);
  EXPECT_EQ(result.out, GetParam().out);
  EXPECT_EQ(result.err, GetParam().err);
  EXPECT_FALSE(std::filesystem::exists(trace)) << "the application was started";
}

const std::string kUsage = works::cli::usageText();

// clang-format off
INSTANTIATE_TEST_SUITE_P(CommandLines, ProgramAnswersTest, ::testing::Values(
  AnswerCase{"LauncherAlone", {"launcher"}, 0, kUsage, ""},
  AnswerCase{"LauncherHelp", {"launcher", "-h"}, 0, kUsage, ""},
  AnswerCase{"LauncherVersion", {"launcher", "-V"}, 0, "FennorWorks launcher 0.5.0\n", ""},
  AnswerCase{"HelpWinsOverVersion", {"launcher", "--version", "--help"}, 0, kUsage, ""},
  AnswerCase{"UnknownLauncherArgument", {"launcher", "--prod"}, 2, "",
             "FennorWorks: unknown launcher argument: --prod\n\n" + kUsage},
  AnswerCase{"ErrorWinsOverHelp", {"launcher", "--help", "x"}, 2, "",
             "FennorWorks: unknown launcher argument: x\n\n" + kUsage},
  AnswerCase{"BothChannels", {"--prod", "open", "--beta"}, 2, "",
             "FennorWorks: --prod and --beta cannot be used together\n\n" + kUsage}),
  [](const ::testing::TestParamInfo<AnswerCase>& tested) { return std::string(tested.param.name); });
// clang-format on

}  // namespace
}  // namespace works::launcher::testing
