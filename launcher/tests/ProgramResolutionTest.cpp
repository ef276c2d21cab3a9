// Which install the program starts, and what it reports when it cannot start one.
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/ProgramTestSupport.h"

namespace works::launcher::testing {
namespace {

namespace fs = std::filesystem;

class ProgramResolutionTest : public ProgramTest {
 protected:
  // argv[0] of the application the launcher started, or "" when none was.
  std::string startedExecutable(const std::vector<std::string>& args) {
    const std::string report = scratchPath("argv");
    const RunResult result = run(args, {{"FAKE_APP_ARGV_REPORT", report}});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    const std::vector<std::string> argv = readEntries(report);
    return argv.empty() ? "" : argv.front();
  }
};

TEST_F(ProgramResolutionTest, ChannelChoice) {
  const std::string production = installFakeApplication(false);
  const std::string beta = installFakeApplication(true);
  EXPECT_EQ(startedExecutable({}), production);
  EXPECT_EQ(startedExecutable({"--beta"}), beta);
  EXPECT_EQ(startedExecutable({"--prod"}), production);
}

TEST_F(ProgramResolutionTest, OnlyBetaInstalledIsChosenByDefault) {
  if (optInstallPresent()) GTEST_SKIP() << "an install under /opt exists on this machine";
  const std::string beta = installFakeApplication(true);
  EXPECT_EQ(startedExecutable({"--help"}), beta);
}

struct NotFoundCase {
  const char* name;
  std::vector<std::string> args;
  bool installProduction;
  bool installBeta;
  // Filled in with the candidate paths of the temporary home.
  std::string (*expectedMessage)(const ProgramTest& test);
};

void PrintTo(const NotFoundCase& c, std::ostream* os) { *os << c.name; }

class ProgramNotFoundTest : public ProgramTest,
                            public ::testing::WithParamInterface<NotFoundCase> {};

TEST_P(ProgramNotFoundTest, ExitsWith127AndTheMessage) {
  if (optInstallPresent()) GTEST_SKIP() << "an install under /opt exists on this machine";
  if (GetParam().installProduction) installFakeApplication(false);
  if (GetParam().installBeta) installFakeApplication(true);
  const RunResult result = run(GetParam().args);
  EXPECT_EQ(result.exitStatus, 127);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "FennorWorks: " + GetParam().expectedMessage(*this) + "\n");
}

std::string productionMissing(const ProgramTest& test) {
  return "Fennor Works was not found at \"" + test.userInstallPath(false) +
         "\" or \"/opt/FennorWorks/FennorWorks\". Is Fennor Works installed?";
}

std::string betaMissing(const ProgramTest& test) {
  return "Fennor Works (beta) was not found at \"" + test.userInstallPath(true) +
         "\" or \"/opt/FennorWorksBeta/FennorWorksBeta\". Is Fennor Works (beta) installed?";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Installs, ProgramNotFoundTest, ::testing::Values(
  NotFoundCase{"NothingInstalled", {}, false, false, productionMissing},
  NotFoundCase{"ProductionRequestedOnlyBetaInstalled", {"--prod", "x"}, false, true,
               [](const ProgramTest& test) {
                 return productionMissing(test) +
                        "\nNote: Only the beta version of Fennor Works is installed; install the "
                        "production version first, or remove --prod to launch the beta one.";
               }},
  NotFoundCase{"BetaRequestedOnlyProductionInstalled", {"--beta"}, true, false,
               [](const ProgramTest& test) {
                 return betaMissing(test) +
                        "\nNote: Only the production version of Fennor Works is installed; install "
                        "the beta version first, or remove --beta to launch the production one.";
               }}),
  [](const ::testing::TestParamInfo<NotFoundCase>& tested) { return std::string(tested.param.name); });
// clang-format on

TEST_F(ProgramResolutionTest, UnstartableInstallExitsWith126NamingThePathTwice) {
  const std::string path = userInstallPath(false);
  struct Case {
    const char* name;
    void (*make)(const std::string& path);
    int error;
  };
  const Case cases[] = {
      {"directory", [](const std::string& p) { fs::create_directories(p); }, EACCES},
      {"not executable",
       [](const std::string& p) {
         std::ofstream(p) << "#!/bin/sh\nexit 0\n";
         fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write);
       },
       EACCES},
      {"unknown format",
       [](const std::string& p) {
         std::ofstream(p) << "neither a binary nor a script\n";
         fs::permissions(p, fs::perms::owner_all);
       },
       ENOEXEC},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::create_directories(fs::path(path).parent_path());
    fs::remove_all(path);
    c.make(path);
    const RunResult result = run({"--prod"});
    EXPECT_EQ(result.exitStatus, 126);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "FennorWorks: failed to launch \"" + path + "\": posix_spawn(\"" + path +
                              "\") failed: " + std::strerror(c.error) + "\n");
  }
}

}  // namespace
}  // namespace works::launcher::testing
