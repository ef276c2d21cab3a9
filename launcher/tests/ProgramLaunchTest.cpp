// The program with an installed application: what reaches the application, and what comes back.
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
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
  const Args args = {"two words",   "\"double\"", "'single'", "$HOME",
                     "`id`",        "a;b|c&&d>e", "*",        "",
                     "back\\slash", "new\nline",  "--",       "--version",
                     "launcher",    "-V",         "--prod=1", "\xC3\xA9t\xC3\xA9"};
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
    const RunResult result = run(
        {"--prod", helpFlag}, {{"FAKE_APP_STDOUT", "application help\n"}, {"FAKE_APP_EXIT", "3"}});
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_EQ(result.out, "application help\n\n" + works::cli::channelHintText()) << helpFlag;
    EXPECT_EQ(result.err, "");
  }
}

TEST_F(ProgramLaunchTest, StatusIsKeptWhenStartedWithChildSignalsIgnored) {
  // bash ignores SIGCHLD and exec keeps it ignored in the launcher, as it would be under any parent
  // that ignores it; the application's status must still reach the launcher.
  if (!fs::exists("/bin/bash")) GTEST_SKIP() << "needs /bin/bash to start the launcher";
  const RunResult result = finish(start({"--prod"}, environment({{"FAKE_APP_EXIT", "4"}}),
                                        {"/bin/bash", "-c", "trap '' CHLD; exec \"$0\" \"$@\""}));
  EXPECT_EQ(result.exitStatus, 4);
  EXPECT_EQ(result.err, "");
}

#if defined(__x86_64__)
// Any handler installed without SA_RESTART turns a signal that arrives during the wait into EINTR:
// the launcher's own forwarding handler does, and so would one of any library it might load. This
// makes the wait fail that way from outside, with no signal at all, on the real program: stop the
// launcher in its blocked wait4 with PTRACE_INTERRUPT, where the kernel holds the call's pending
// result -ERESTARTSYS, and turn that result into -EINTR before letting it go on.
constexpr long kRestartSys = 512;  // the kernel's ERESTARTSYS, never seen by programs

// Returns "" when the launcher's wait4 was made to return EINTR, otherwise why it was not.
std::string interruptBlockedWait(pid_t pid) {
  if (ptrace(PTRACE_SEIZE, pid, nullptr, nullptr) != 0) {
    return std::string("PTRACE_SEIZE failed: ") + std::strerror(errno);
  }
  std::string why;
  int status = 0;
  if (ptrace(PTRACE_INTERRUPT, pid, nullptr, nullptr) != 0) {
    why = std::string("PTRACE_INTERRUPT failed: ") + std::strerror(errno);
  } else if (waitpid(pid, &status, __WALL) != pid || !WIFSTOPPED(status)) {
    why = "the launcher did not stop";
  } else {
    user_regs_struct regs{};
    if (ptrace(PTRACE_GETREGS, pid, nullptr, &regs) != 0) {
      why = std::string("PTRACE_GETREGS failed: ") + std::strerror(errno);
    } else if (regs.orig_rax != SYS_wait4 || static_cast<long>(regs.rax) != -kRestartSys) {
      why = "the launcher was not blocked in wait4 (system call " + std::to_string(regs.orig_rax) +
            ")";
    } else {
      regs.rax = static_cast<unsigned long long>(-EINTR);
      if (ptrace(PTRACE_SETREGS, pid, nullptr, &regs) != 0) {
        why = std::string("PTRACE_SETREGS failed: ") + std::strerror(errno);
      }
    }
  }
  ptrace(PTRACE_DETACH, pid, nullptr, nullptr);
  return why;
}

// True once the process is blocked in wait4, which is how the C library waits for a child.
bool blockedInWait(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/syscall");
  std::string line;
  return std::getline(file, line) && line.rfind(std::to_string(SYS_wait4) + " ", 0) == 0;
}

TEST_F(ProgramLaunchTest, InterruptedWaitKeepsWaitingForTheApplication) {
  const std::string started = scratchPath("started");
  const std::string release = scratchPath("release");
  const pid_t launcher = start({}, environment({{"FAKE_APP_STARTED", started},
                                                {"FAKE_APP_WAIT_FOR", release},
                                                {"FAKE_APP_EXIT", "5"}}));
  ASSERT_GT(launcher, 0);

  int interruptions = 0;
  std::string why;
  for (int attempt = 0; attempt < 300 && interruptions < 2; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!fs::exists(started) || !blockedInWait(launcher)) continue;
    why = interruptBlockedWait(launcher);
    if (why.empty()) ++interruptions;
    if (why.rfind("PTRACE_SEIZE failed", 0) == 0) break;
  }
  std::ofstream(release).put('\n');

  const RunResult result = finish(launcher);
  if (interruptions == 0 && why.rfind("PTRACE_SEIZE failed", 0) == 0) {
    GTEST_SKIP() << "cannot trace the launcher here: " << why;
  }
  EXPECT_EQ(interruptions, 2) << why;
  EXPECT_EQ(result.exitStatus, 5);
  EXPECT_EQ(result.err, "");
}
#endif

}  // namespace
}  // namespace works::launcher::testing
