// Runs the real FennorWorks program in a temporary home directory, with the fake application
// installed where the launcher looks for it on Linux.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace works::launcher::testing {

// How a test starts the launcher. It always leads a process group of its own, which the
// application joins, so that a test can signal both as a terminal would and clean up after both.
// SIGHUP, SIGINT, SIGQUIT and SIGTERM start at their defaults and the signal mask empty, whatever
// the test program itself has (a job started in the background has SIGINT ignored), except:
struct StartOptions {
  std::vector<int> ignoredSignals;
  std::vector<int> blockedSignals;
  // A terminal device: the launcher then leads a new session with it as its controlling terminal
  // and standard input, so that what is typed there reaches its process group.
  std::string terminal;
  // The launcher stops at its exec, to be traced (PTRACE_TRACEME); where tracing is refused, it
  // exits with kTraceRefusedStatus instead.
  bool traced = false;
};
inline constexpr int kTraceRefusedStatus = 124;

// The test's end of a pseudo-terminal, closed on destruction.
class PseudoTerminal {
 public:
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // Empty when no pseudo-terminal could be opened; why() says why.
  const std::string& devicePath() const { return devicePath_; }
  const std::string& why() const { return why_; }
  // What a user types, for example "\x03" (Ctrl-C); true when written.
  bool type(const std::string& keys);

 private:
  int controller_ = -1;
  std::string devicePath_;
  std::string why_;
};

struct RunResult {
  int exitStatus = -1;  // -1 when the launcher did not exit normally
  std::string out;
  std::string err;
};

class ProgramTest : public ::testing::Test {
 public:
  // Where the launcher looks first for the production or the beta install.
  std::string userInstallPath(bool beta) const;

 protected:
  using Environment = std::map<std::string, std::string>;

  void SetUp() override;
  void TearDown() override;

  // Copies the fake application there and returns the path.
  std::string installFakeApplication(bool beta);
  // A file under the test's own directory (not created).
  std::string scratchPath(const std::string& name) const;

  // The test process's environment with HOME pointing at the temporary home, plus extra.
  Environment environment(const Environment& extra = {}) const;

  // wrapper, when given, is a command that is started instead and runs the launcher, named after
  // it, with args.
  pid_t start(const std::vector<std::string>& args, const Environment& env,
              const std::vector<std::string>& wrapper = {}, const StartOptions& options = {});
  // Waits for the launcher; one still running after timeout is killed with its process group.
  RunResult finish(pid_t pid, std::chrono::seconds timeout = std::chrono::seconds(30));
  RunResult run(const std::vector<std::string>& args, const Environment& extra = {});

  // The /opt installs are outside the test's control; tests that need them absent skip otherwise.
  static bool optInstallPresent();

  std::filesystem::path root_;
  std::filesystem::path home_;
  // Process groups of the launchers started: whatever is left in them is killed at the end.
  std::vector<pid_t> groups_;
};

// True when no process is left in the process group.
bool processGroupGone(pid_t group);

std::string readFile(const std::string& path);
// Splits NUL-terminated entries, as the fake application reports them.
std::vector<std::string> readEntries(const std::string& path);

}  // namespace works::launcher::testing
