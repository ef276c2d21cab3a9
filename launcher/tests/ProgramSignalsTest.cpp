// Signals and the program: what a terminal, a supervisor or a closing session sends reaches the
// application, and the launcher outlives the application to report its status.
#include <sched.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/ProgramTestSupport.h"

namespace works::launcher::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kPatience = 10s;

// Polls condition until it holds or kPatience has passed; returns whether it held.
template <typename Condition>
bool eventually(Condition condition) {
  for (const auto deadline = Clock::now() + kPatience; !condition();) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// True while process pid has not ended (an ended, unreaped one counts as ended); does not reap it.
bool running(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

// One field of /proc/<pid>/status, or "" when there is none.
std::string statusField(pid_t pid, const std::string& name) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(file, line);) {
    if (line.rfind(name + ":", 0) == 0) {
      const std::size_t value = line.find_first_not_of(" \t", name.size() + 1);
      return value == std::string::npos ? "" : line.substr(value);
    }
  }
  return "";
}

// True once signalNumber is no longer pending for pid: sent before, it has been delivered.
bool delivered(pid_t pid, int signalNumber) {
  for (const char* field : {"SigPnd", "ShdPnd"}) {
    const std::string mask = statusField(pid, field);
    if (mask.empty()) return false;
    if ((std::stoull(mask, nullptr, 16) >> (signalNumber - 1)) & 1) return false;
  }
  return true;
}

// The state letters of /proc/<pid>/status: T stopped, Z ended and not yet reaped.
bool inState(pid_t pid, char state) { return statusField(pid, "State").rfind(state, 0) == 0; }

class ProgramSignalsTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    installFakeApplication(false);
  }

  // The application reports its pid once its handlers are in place, then runs until it is released
  // or a signal ends it. It ends with 4 unless a signal says otherwise.
  Environment applicationEnvironment(const Environment& extra = {}) const {
    Environment env = environment({{"FAKE_APP_STARTED", scratchPath("started")},
                                   {"FAKE_APP_WAIT_FOR", scratchPath("release")},
                                   {"FAKE_APP_ENDED", scratchPath("ended")},
                                   {"FAKE_APP_SIGNAL_LOG", scratchPath("signals")},
                                   {"FAKE_APP_EXIT", "4"}});
    for (const auto& [name, value] : extra) env[name] = value;
    return env;
  }

  // Clears what a previous run of the application left in the scratch directory.
  void forgetPreviousRun() {
    for (const char* name : {"started", "release", "ended", "signals"})
      fs::remove(scratchPath(name));
  }

  // The application's pid once it is ready, or -1 when it does not get there.
  pid_t waitForApplication(pid_t launcher) {
    const std::string started = scratchPath("started");
    if (!eventually([&] { return fs::exists(started) || !running(launcher); }) ||
        !fs::exists(started)) {
      ADD_FAILURE() << "the application did not start";
      return -1;
    }
    return std::stoi(readFile(started));
  }

  void release() { std::ofstream(scratchPath("release")).put('\n'); }
  std::string signalLog() const { return readFile(scratchPath("signals")); }
  bool applicationEnded() const { return fs::exists(scratchPath("ended")); }

  // The launcher has ended: neither the application nor anything else of its group may be left.
  void expectNothingLeft(pid_t launcher, pid_t application) {
    EXPECT_TRUE(kill(application, 0) != 0 && errno == ESRCH) << "the application is still there";
    EXPECT_TRUE(processGroupGone(launcher)) << "a process of the launcher's group is still there";
  }
};

// Ctrl-C and Ctrl-\ go to the whole foreground process group, the launcher and the application
// alike. The application decides what they mean; the launcher waits for it and reports its status.
struct TerminalSignalCase {
  const char* name;
  int signalNumber;
  const char* key;       // typed at the terminal for it
  const char* onSignal;  // FAKE_APP_ON_SIGNAL, "" for the default action
  int status;
};

void PrintTo(const TerminalSignalCase& c, std::ostream* os) { *os << c.name; }

class TerminalSignalTest : public ProgramSignalsTest,
                           public ::testing::WithParamInterface<TerminalSignalCase> {};

TEST_P(TerminalSignalTest, TheLauncherOutlivesTheApplicationAndReportsItsStatus) {
  const TerminalSignalCase& c = GetParam();
  for (const bool typed : {false, true}) {
    SCOPED_TRACE(typed ? "typed at a terminal" : "sent to the process group, input not a terminal");
    forgetPreviousRun();
    PseudoTerminal terminal;
    StartOptions options;
    if (typed) {
      if (terminal.devicePath().empty()) GTEST_SKIP() << terminal.why();
      options.terminal = terminal.devicePath();
    }
    Environment extra = {{"FAKE_APP_LINGER_MS", "300"}};
    if (*c.onSignal) extra["FAKE_APP_ON_SIGNAL"] = c.onSignal;
    const pid_t launcher = start({}, applicationEnvironment(extra), {}, options);
    ASSERT_GT(launcher, 0);
    const pid_t application = waitForApplication(launcher);
    ASSERT_GT(application, 0);

    if (typed) {
      ASSERT_TRUE(terminal.type(c.key));
    } else {
      ASSERT_EQ(kill(-launcher, c.signalNumber), 0) << std::strerror(errno);
    }
    const RunResult result = finish(launcher, kPatience);
    EXPECT_EQ(result.exitStatus, c.status);
    EXPECT_EQ(result.err, "");
    if (*c.onSignal) {
      EXPECT_TRUE(applicationEnded()) << "the launcher ended before the application";
      EXPECT_EQ(signalLog(), std::to_string(c.signalNumber) + "\n");
    }
    expectNothingLeft(launcher, application);
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Keys, TerminalSignalTest, ::testing::Values(
  TerminalSignalCase{"CtrlCHandledByTheApplication", SIGINT, "\x03", "2=5", 5},
  TerminalSignalCase{"CtrlCEndingTheApplication", SIGINT, "\x03", "", 128 + SIGINT},
  TerminalSignalCase{"CtrlBackslashHandledByTheApplication", SIGQUIT, "\x1c", "3=6", 6},
  TerminalSignalCase{"CtrlBackslashEndingTheApplication", SIGQUIT, "\x1c", "", 128 + SIGQUIT}),
  [](const ::testing::TestParamInfo<TerminalSignalCase>& tested) { return std::string(tested.param.name); });
// clang-format on

// SIGTERM from a supervisor or `kill`, SIGHUP from a closing session: sent to the launcher alone,
// they are meant for the application, which must not be left running without it.
struct ForwardedSignalCase {
  const char* name;
  std::vector<int> sent;  // in a row, without waiting in between
  const char* onSignal;   // FAKE_APP_ON_SIGNAL, "" for the default action
  int status;
};

void PrintTo(const ForwardedSignalCase& c, std::ostream* os) { *os << c.name; }

class ForwardedSignalTest : public ProgramSignalsTest,
                            public ::testing::WithParamInterface<ForwardedSignalCase> {};

TEST_P(ForwardedSignalTest, ReachesTheApplicationWhoseStatusTheLauncherReports) {
  const ForwardedSignalCase& c = GetParam();
  Environment extra = {{"FAKE_APP_LINGER_MS", "200"}};
  if (*c.onSignal) extra["FAKE_APP_ON_SIGNAL"] = c.onSignal;
  const pid_t launcher = start({}, applicationEnvironment(extra));
  ASSERT_GT(launcher, 0);
  const pid_t application = waitForApplication(launcher);
  ASSERT_GT(application, 0);

  for (int signalNumber : c.sent) ASSERT_EQ(kill(launcher, signalNumber), 0);
  const RunResult result = finish(launcher, kPatience);
  EXPECT_EQ(result.exitStatus, c.status);
  EXPECT_EQ(result.err, "");
  if (*c.onSignal) {
    EXPECT_TRUE(applicationEnded()) << "the launcher ended before the application";
    EXPECT_EQ(signalLog(), std::to_string(c.sent.front()) + "\n");
  }
  expectNothingLeft(launcher, application);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Signals, ForwardedSignalTest, ::testing::Values(
  ForwardedSignalCase{"TermHandledByTheApplication", {SIGTERM}, "15=7", 7},
  ForwardedSignalCase{"TermEndingTheApplication", {SIGTERM}, "", 128 + SIGTERM},
  ForwardedSignalCase{"TermTwice", {SIGTERM, SIGTERM}, "", 128 + SIGTERM},
  ForwardedSignalCase{"HupHandledByTheApplication", {SIGHUP}, "1=8", 8},
  ForwardedSignalCase{"HupEndingTheApplication", {SIGHUP}, "", 128 + SIGHUP},
  // Both pending at once are delivered lowest number first, wherever they are pending.
  ForwardedSignalCase{"HupThenTerm", {SIGHUP, SIGTERM}, "", 128 + SIGHUP}),
  [](const ::testing::TestParamInfo<ForwardedSignalCase>& tested) { return std::string(tested.param.name); });
// clang-format on

// A key held down, or a supervisor that repeats itself: the signals keep coming while the
// application ends and after it. Whenever the last of them reaches the launcher, even in the moment
// between reaping the application and exiting, the status reported is the application's.
struct RepeatedSignalCase {
  const char* name;
  int signalNumber;
  bool toGroup;          // as a terminal sends it; otherwise to the launcher alone
  const char* onSignal;  // FAKE_APP_ON_SIGNAL
  int status;
};

void PrintTo(const RepeatedSignalCase& c, std::ostream* os) { *os << c.name; }

class RepeatedSignalTest : public ProgramSignalsTest,
                           public ::testing::WithParamInterface<RepeatedSignalCase> {};

TEST_P(RepeatedSignalTest, SignalsUntilTheLauncherHasEndedLeaveTheApplicationsStatus) {
  const RepeatedSignalCase& c = GetParam();
  const pid_t launcher = start(
      {}, applicationEnvironment({{"FAKE_APP_ON_SIGNAL", c.onSignal}, {"FAKE_APP_LINGER_MS", "20"}}));
  ASSERT_GT(launcher, 0);
  const pid_t application = waitForApplication(launcher);
  ASSERT_GT(application, 0);

  const auto deadline = Clock::now() + kPatience;
  while (running(launcher) && Clock::now() < deadline) {
    kill(c.toGroup ? -launcher : launcher, c.signalNumber);
    std::this_thread::sleep_for(100us);
  }
  const RunResult result = finish(launcher, kPatience);
  EXPECT_EQ(result.exitStatus, c.status);
  EXPECT_EQ(result.err, "");
  expectNothingLeft(launcher, application);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Repeated, RepeatedSignalTest, ::testing::Values(
  RepeatedSignalCase{"CtrlC", SIGINT, true, "2=5", 5},
  RepeatedSignalCase{"CtrlBackslash", SIGQUIT, true, "3=6", 6},
  RepeatedSignalCase{"Term", SIGTERM, false, "15=7", 7},
  RepeatedSignalCase{"Hup", SIGHUP, false, "1=8", 8}),
  [](const ::testing::TestParamInfo<RepeatedSignalCase>& tested) { return std::string(tested.param.name); });
// clang-format on

TEST_F(ProgramSignalsTest, KeepsWaitingWhileTheApplicationGoesOnAfterEachSignal) {
  const pid_t launcher =
      start({}, applicationEnvironment({{"FAKE_APP_ON_SIGNAL", "15=keep,1=keep"}}));
  ASSERT_GT(launcher, 0);
  const pid_t application = waitForApplication(launcher);
  ASSERT_GT(application, 0);

  std::string expectedLog;
  for (int signalNumber : {SIGTERM, SIGHUP, SIGTERM}) {
    ASSERT_EQ(kill(launcher, signalNumber), 0);
    expectedLog += std::to_string(signalNumber) + "\n";
    EXPECT_TRUE(eventually([&] { return signalLog() == expectedLog; }))
        << "the application saw: " << signalLog();
  }
  EXPECT_TRUE(running(launcher));
  release();
  const RunResult result = finish(launcher, kPatience);
  EXPECT_EQ(result.exitStatus, 4);
  EXPECT_EQ(result.err, "");
  expectNothingLeft(launcher, application);
}

TEST_F(ProgramSignalsTest, KeepsWaitingForAnApplicationThatIgnoresTheSignal) {
  const pid_t launcher = start({}, applicationEnvironment({{"FAKE_APP_ON_SIGNAL", "15=ignore"}}));
  ASSERT_GT(launcher, 0);
  const pid_t application = waitForApplication(launcher);
  ASSERT_GT(application, 0);

  ASSERT_EQ(kill(launcher, SIGTERM), 0);
  EXPECT_TRUE(eventually([&] { return delivered(launcher, SIGTERM); }));
  release();
  const RunResult result = finish(launcher, kPatience);
  EXPECT_EQ(result.exitStatus, 4);
  EXPECT_EQ(result.err, "");
  expectNothingLeft(launcher, application);
}

// nohup, or a job started in the background: what the launcher was started ignoring is not meant
// for the application either, which inherited it ignored (or chose otherwise itself).
TEST_F(ProgramSignalsTest, SignalIgnoredWhenTheLauncherStartedIsNotPassedOn) {
  for (int signalNumber : {SIGHUP, SIGTERM}) {
    SCOPED_TRACE("signal " + std::to_string(signalNumber));
    forgetPreviousRun();
    StartOptions options;
    options.ignoredSignals = {signalNumber};
    const std::string onSignal = std::to_string(signalNumber) + "=keep";
    const pid_t launcher =
        start({}, applicationEnvironment({{"FAKE_APP_ON_SIGNAL", onSignal}}), {}, options);
    ASSERT_GT(launcher, 0);
    const pid_t application = waitForApplication(launcher);
    ASSERT_GT(application, 0);

    // An ignored signal is discarded as it is sent: once kill returns, the launcher has seen it.
    ASSERT_EQ(kill(launcher, signalNumber), 0);
    release();
    const RunResult result = finish(launcher, kPatience);
    EXPECT_EQ(result.exitStatus, 4);
    EXPECT_EQ(signalLog(), "");
    expectNothingLeft(launcher, application);
  }
}

// waitpid reports only an application that has ended: one that is stopped is still waited for. A
// signal forwarded meanwhile stays pending in it, as it would without the launcher, and acts once
// the application is continued.
TEST_F(ProgramSignalsTest, StoppedApplicationIsStillWaitedFor) {
  struct {
    const char* name;
    bool terminated;  // SIGTERM to the launcher while the application is stopped
    int status;
  } const cases[] = {{"stopped, continued and released", false, 4},
                     {"stopped, SIGTERM to the launcher, continued", true, 128 + SIGTERM}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    forgetPreviousRun();
    const pid_t launcher = start({}, applicationEnvironment());
    ASSERT_GT(launcher, 0);
    const pid_t application = waitForApplication(launcher);
    ASSERT_GT(application, 0);

    ASSERT_EQ(kill(application, SIGSTOP), 0);
    ASSERT_TRUE(eventually([&] { return inState(application, 'T'); }));
    if (c.terminated) {
      ASSERT_EQ(kill(launcher, SIGTERM), 0);
      EXPECT_TRUE(eventually([&] { return !delivered(application, SIGTERM); }))
          << "SIGTERM did not become pending in the stopped application";
      EXPECT_TRUE(running(launcher));
    } else {
      release();
    }
    ASSERT_EQ(kill(application, SIGCONT), 0);
    const RunResult result = finish(launcher, kPatience);
    EXPECT_EQ(result.exitStatus, c.status);
    EXPECT_EQ(result.err, "");
    expectNothingLeft(launcher, application);
  }
}

// The application starts with the signal state the launcher was started with, exactly as if it had
// been started without the launcher: what was ignored stays ignored, what was at its default is at
// its default, the mask is the same.
struct InheritedStateCase {
  const char* name;
  std::vector<int> ignored;
  std::vector<int> blocked;
  std::string report;  // FAKE_APP_SIGNALS_REPORT: SIGHUP, SIGINT, SIGQUIT, SIGTERM
};

void PrintTo(const InheritedStateCase& c, std::ostream* os) { *os << c.name; }

class InheritedSignalStateTest : public ProgramSignalsTest,
                                 public ::testing::WithParamInterface<InheritedStateCase> {};

TEST_P(InheritedSignalStateTest, ApplicationStartsWithTheLaunchersOwnSignalState) {
  StartOptions options;
  options.ignoredSignals = GetParam().ignored;
  options.blockedSignals = GetParam().blocked;
  const std::string report = scratchPath("signal-state");
  const RunResult result =
      finish(start({}, environment({{"FAKE_APP_SIGNALS_REPORT", report}}), {}, options));
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(readFile(report), GetParam().report);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(States, InheritedSignalStateTest, ::testing::Values(
  InheritedStateCase{"AllAtTheirDefaults", {}, {},
    "1 default unblocked\n2 default unblocked\n3 default unblocked\n15 default unblocked\n"},
  InheritedStateCase{"BackgroundJobOfAScript", {SIGINT, SIGQUIT}, {},
    "1 default unblocked\n2 ignored unblocked\n3 ignored unblocked\n15 default unblocked\n"},
  InheritedStateCase{"InterruptAloneIgnored", {SIGINT}, {},
    "1 default unblocked\n2 ignored unblocked\n3 default unblocked\n15 default unblocked\n"},
  InheritedStateCase{"HangupIgnoredByNohup", {SIGHUP}, {},
    "1 ignored unblocked\n2 default unblocked\n3 default unblocked\n15 default unblocked\n"},
  InheritedStateCase{"TerminateBlocked", {}, {SIGTERM},
    "1 default unblocked\n2 default unblocked\n3 default unblocked\n15 default blocked\n"},
  InheritedStateCase{"AllIgnoredSomeBlocked", {SIGHUP, SIGINT, SIGQUIT, SIGTERM}, {SIGHUP, SIGINT},
    "1 ignored blocked\n2 ignored blocked\n3 ignored unblocked\n15 ignored unblocked\n"}),
  [](const ::testing::TestParamInfo<InheritedStateCase>& tested) { return std::string(tested.param.name); });
// clang-format on

// A launcher started with SIGTERM blocked still passes it on: the application, started with it
// blocked too, keeps it pending as it would have without the launcher.
TEST_F(ProgramSignalsTest, SignalBlockedWhenTheLauncherStartedReachesTheApplication) {
  StartOptions options;
  options.blockedSignals = {SIGTERM};
  const pid_t launcher = start({}, applicationEnvironment(), {}, options);
  ASSERT_GT(launcher, 0);
  const pid_t application = waitForApplication(launcher);
  ASSERT_GT(application, 0);

  ASSERT_EQ(kill(launcher, SIGTERM), 0);
  EXPECT_TRUE(eventually([&] { return !delivered(application, SIGTERM); }))
      << "SIGTERM did not become pending in the application";
  release();
  const RunResult result = finish(launcher, kPatience);
  EXPECT_EQ(result.exitStatus, 4);
  expectNothingLeft(launcher, application);
}

#if defined(__x86_64__)
// True when the tracee is stopped at the call that starts the application: posix_spawn's clone
// (clone3, clone or vfork) with CLONE_VFORK, not a thread a runtime might start.
bool atSpawnCall(pid_t pid) {
  user_regs_struct regs{};
  if (ptrace(PTRACE_GETREGS, pid, nullptr, &regs) != 0) return false;
  if (regs.orig_rax == SYS_vfork) return true;
  if (regs.orig_rax == SYS_clone) return (regs.rdi & CLONE_VFORK) != 0;
  if (regs.orig_rax != SYS_clone3) return false;
  errno = 0;  // the flags are the first field of struct clone_args
  const long flags = ptrace(PTRACE_PEEKDATA, pid, regs.rdi, nullptr);
  return errno == 0 && (static_cast<unsigned long>(flags) & CLONE_VFORK) != 0;
}

constexpr const char* kCannotTrace = "tracing is not permitted here";

// Runs a launcher started traced (stopped at its exec) up to the system call that starts the
// application, and leaves it stopped there. Returns "" or why it could not.
std::string runToSpawn(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return "it could not be waited for";
  if (WIFEXITED(status) && WEXITSTATUS(status) == kTraceRefusedStatus) return kCannotTrace;
  if (!WIFSTOPPED(status)) return "it did not stop at exec";
  if (ptrace(PTRACE_SETOPTIONS, pid, nullptr,
             PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL) != 0) {
    return std::string("PTRACE_SETOPTIONS failed: ") + std::strerror(errno);
  }
  int pendingSignal = 0;
  for (int stops = 0; stops < 1000000; ++stops) {
    if (ptrace(PTRACE_SYSCALL, pid, nullptr, pendingSignal) != 0) {
      return std::string("PTRACE_SYSCALL failed: ") + std::strerror(errno);
    }
    pendingSignal = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) return "it ended before the spawn";
    if (WSTOPSIG(status) == (SIGTRAP | 0x80)) {
      if (atSpawnCall(pid)) return "";
    } else if ((status >> 16) == 0) {
      pendingSignal = WSTOPSIG(status);  // a signal of its own: let it have it
    }
  }
  return "no spawn seen";
}

// The race the launcher closes: SIGTERM arriving after the spawn has begun but before the launcher
// knows the child's pid. Stopped at the very system call that creates the child, the launcher gets
// SIGTERM; it must still reach the application once the application exists.
TEST_F(ProgramSignalsTest, SignalDuringTheSpawnReachesTheApplication) {
  StartOptions options;
  options.traced = true;
  const pid_t launcher = start({}, applicationEnvironment(), {}, options);
  ASSERT_GT(launcher, 0);
  const std::string why = runToSpawn(launcher);
  if (why == kCannotTrace) GTEST_SKIP() << why;
  if (!why.empty()) {
    kill(launcher, SIGKILL);
    finish(launcher);
    FAIL() << "could not stop the launcher at its spawn: " << why;
  }
  ASSERT_EQ(kill(launcher, SIGTERM), 0);
  ASSERT_EQ(ptrace(PTRACE_DETACH, launcher, nullptr, nullptr), 0) << std::strerror(errno);

  const RunResult result = finish(launcher, kPatience);
  EXPECT_EQ(result.exitStatus, 128 + SIGTERM);
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(processGroupGone(launcher));
}

// The other end of the wait: SIGTERM arriving once the application has ended but before the
// launcher has collected its status. The launcher is held (PTRACE_INTERRUPT) in its wait while the
// application ends, then gets SIGTERM: the signal must not be sent on to a pid that is no longer
// the application's, and the application's status must still be reported.
TEST_F(ProgramSignalsTest, SignalAfterTheApplicationEndedLeavesItsStatus) {
  const pid_t launcher = start({}, applicationEnvironment());
  ASSERT_GT(launcher, 0);
  const pid_t application = waitForApplication(launcher);
  ASSERT_GT(application, 0);
  if (ptrace(PTRACE_SEIZE, launcher, nullptr, nullptr) != 0) {
    const int error = errno;
    release();
    finish(launcher);
    GTEST_SKIP() << "cannot trace the launcher here: " << std::strerror(error);
  }
  int status = 0;
  const bool held = ptrace(PTRACE_INTERRUPT, launcher, nullptr, nullptr) == 0 &&
                    waitpid(launcher, &status, __WALL) == launcher && WIFSTOPPED(status);
  release();
  EXPECT_TRUE(held) << "the launcher could not be held";
  EXPECT_TRUE(eventually([&] { return inState(application, 'Z'); }))
      << "the application did not end";
  EXPECT_EQ(kill(launcher, SIGTERM), 0);
  EXPECT_EQ(ptrace(PTRACE_DETACH, launcher, nullptr, nullptr), 0) << std::strerror(errno);

  const RunResult result = finish(launcher, kPatience);
  EXPECT_EQ(result.exitStatus, 4);
  EXPECT_EQ(result.err, "");
  expectNothingLeft(launcher, application);
}
#endif

}  // namespace
}  // namespace works::launcher::testing
