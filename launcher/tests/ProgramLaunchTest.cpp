// The program with an installed application: what reaches the application, and what comes back.
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliOptions.h"
#include "tests/ProgramTestSupport.h"

namespace works::launcher::testing {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

class ProgramLaunchTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    application_ = installFakeApplication(false);
  }
  std::string application_;
};

TEST_F(ProgramLaunchTest, ExitStatusPassesThroughEvenWhereItLooksLikeTheLaunchersOwn) {
  for (int status : {0, 3, 2, 126, 127, 255}) {
    const RunResult result = run({}, {{"FAKE_APP_EXIT", std::to_string(status)}});
    EXPECT_EQ(result.exitStatus, status);
    EXPECT_EQ(result.out, "") << "status " << status;
    EXPECT_EQ(result.err, "") << "status " << status;
  }
}

TEST_F(ProgramLaunchTest, ApplicationEndedBySignalGives128PlusSignal) {
  for (int signalNumber : {SIGKILL, SIGTERM, SIGSEGV}) {
    const RunResult result = run({}, {{"FAKE_APP_SIGNAL", std::to_string(signalNumber)}});
    EXPECT_EQ(result.exitStatus, 128 + signalNumber) << "signal " << signalNumber;
    EXPECT_EQ(result.err, "") << "signal " << signalNumber;
  }
}

TEST_F(ProgramLaunchTest, ArgumentsArriveUnchangedAfterTheFullPath) {
  const Args args = {"two words",   "\"double\"", "'single'", "$HOME",  "`id`", "a;b|c&&d>e",
                     "*",           "",          "back\\slash", "new\nline", "--", "--version",
                     "launcher",    "-V",        "--prod=1", "\xC3\xA9t\xC3\xA9"};
  Args withChannel = args;
  withChannel.insert(withChannel.begin() + 3, "--prod");  // the launcher's own: not forwarded
  withChannel.push_back("--prod");

  const std::string report = scratchPath("argv");
  const RunResult result = run(withChannel, {{"FAKE_APP_ARGV_REPORT", report}});
  ASSERT_EQ(result.exitStatus, 0) << result.err;

  Args expected = {application_};
  expected.insert(expected.end(), args.begin(), args.end());
  EXPECT_EQ(readEntries(report), expected);
}

TEST_F(ProgramLaunchTest, EnvironmentIsInheritedExactly) {
  const std::string report = scratchPath("env");
  const Environment env = environment({{"FAKE_APP_ENV_REPORT", report},
                                       {"FENNOR_TEST_VALUE", "a b\"c'$d\\e"},
                                       {"FENNOR_TEST_EMPTY", ""},
                                       {"PATH", "/nowhere:/usr/bin:/bin"}});
  const RunResult result = finish(start({}, env));
  ASSERT_EQ(result.exitStatus, 0) << result.err;

  std::vector<std::string> expected;
  for (const auto& [name, value] : env) expected.push_back(name + "=" + value);
  std::vector<std::string> seen = readEntries(report);
  std::sort(seen.begin(), seen.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(seen, expected);
}

TEST_F(ProgramLaunchTest, ChannelHintFollowsTheApplicationsOwnHelp) {
  for (const char* helpFlag : {"--help", "-h"}) {
    const RunResult result =
        run({"--prod", helpFlag}, {{"FAKE_APP_STDOUT", "application help\n"}, {"FAKE_APP_EXIT", "3"}});
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_EQ(result.out, "application help\n\n" + works::cli::channelHintText()) << helpFlag;
    EXPECT_EQ(result.err, "");
  }
}

// True once the process is blocked in the wait4 system call, which is how glibc waits for a child.
// Without /proc/<pid>/syscall (some kernels), a short pause has to do.
bool waitUntilBlockedInWait(pid_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/syscall";
  const std::string wait4 = std::to_string(SYS_wait4) + " ";
  for (int attempt = 0; attempt < 500; ++attempt) {
    std::ifstream file(path);
    std::string line;
    if (!std::getline(file, line)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      return true;
    }
    if (line.rfind(wait4, 0) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST_F(ProgramLaunchTest, InterruptedWaitKeepsWaitingForTheApplication) {
  const std::string started = scratchPath("started");
  const std::string release = scratchPath("release");
  const pid_t launcher = start({}, environment({{"LD_PRELOAD", INTERRUPTIBLE_WAIT_PATH},
                                                {"FAKE_APP_STARTED", started},
                                                {"FAKE_APP_WAIT_FOR", release},
                                                {"FAKE_APP_EXIT", "5"}}));
  ASSERT_GT(launcher, 0);
  for (int i = 0; i < 500 && !fs::exists(started); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(fs::exists(started)) << "the application did not start";
  EXPECT_TRUE(waitUntilBlockedInWait(launcher)) << "the launcher never blocked in wait4";

  for (int i = 0; i < 3; ++i) {
    kill(launcher, SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::ofstream(release).put('\n');

  const RunResult result = finish(launcher);
  EXPECT_EQ(result.exitStatus, 5);
  EXPECT_EQ(result.err, "");
}

}  // namespace
}  // namespace works::launcher::testing
