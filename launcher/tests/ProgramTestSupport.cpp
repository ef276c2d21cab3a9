#include "tests/ProgramTestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace works::launcher::testing {

namespace fs = std::filesystem;

void ProgramTest::SetUp() {
  std::string pattern = (fs::temp_directory_path() / "launcher-program-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  root_ = pattern;
  home_ = root_ / "home";
  fs::create_directory(home_);
}

void ProgramTest::TearDown() {
  // A group outlives its leader while members are left (an application the launcher left behind),
  // and its id is not given to another process meanwhile.
  for (pid_t group : groups_) {
    if (!processGroupGone(group)) kill(-group, SIGKILL);
  }
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

std::string ProgramTest::userInstallPath(bool beta) const {
  return (home_ / ".local/share/Kestrine/Fennor Works" /
          (beta ? "v1-beta/FennorWorksBeta" : "v1/FennorWorks"))
      .string();
}

std::string ProgramTest::installFakeApplication(bool beta) {
  const fs::path target = userInstallPath(beta);
  fs::create_directories(target.parent_path());
  fs::copy_file(FAKE_APPLICATION_PATH, target, fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  return target.string();
}

std::string ProgramTest::scratchPath(const std::string& name) const {
  return (root_ / name).string();
}

ProgramTest::Environment ProgramTest::environment(const Environment& extra) const {
  Environment env;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const std::size_t equals = text.find('=');
    if (equals != std::string::npos) env[text.substr(0, equals)] = text.substr(equals + 1);
  }
  env["HOME"] = home_.string();
  for (const auto& [name, value] : extra) env[name] = value;
  return env;
}

pid_t ProgramTest::start(const std::vector<std::string>& args, const Environment& env,
                         const std::vector<std::string>& wrapper, const StartOptions& options) {
  std::vector<std::string> argvStrings = wrapper;
  argvStrings.push_back(LAUNCHER_PATH);
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argvStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);

  std::vector<std::string> envStrings;
  for (const auto& [name, value] : env) envStrings.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : envStrings) envp.push_back(entry.data());
  envp.push_back(nullptr);

  // Everything the child needs is prepared here: between fork and exec only async-signal-safe
  // calls are made.
  const std::string out = scratchPath("stdout");
  const std::string err = scratchPath("stderr");
  const bool withTerminal = !options.terminal.empty();
  const char* input = withTerminal ? options.terminal.c_str() : "/dev/null";
  sigset_t mask;
  sigemptyset(&mask);
  for (int signalNumber : options.blockedSignals) sigaddset(&mask, signalNumber);
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigemptyset(&defaultAction.sa_mask);
  struct sigaction ignoreAction = defaultAction;
  ignoreAction.sa_handler = SIG_IGN;
  const struct rlimit noCore = {0, 0};

  const pid_t pid = fork();
  if (pid == 0) {
    if (withTerminal ? setsid() < 0 : setpgid(0, 0) != 0) _exit(120);
    const int in = open(input, withTerminal ? O_RDWR : O_RDONLY);
    if (in < 0 || (withTerminal && ioctl(in, TIOCSCTTY, 0) != 0)) _exit(121);
    const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (outFd < 0 || errFd < 0 || dup2(in, 0) < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0) {
      _exit(122);
    }
    for (int fd : {in, outFd, errFd}) {
      if (fd > 2) close(fd);
    }
    // Signals the test sends on purpose must not leave core files behind.
    setrlimit(RLIMIT_CORE, &noCore);
    for (int signalNumber : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) {
      sigaction(signalNumber, &defaultAction, nullptr);
    }
    for (int signalNumber : options.ignoredSignals) sigaction(signalNumber, &ignoreAction, nullptr);
    if (sigprocmask(SIG_SETMASK, &mask, nullptr) != 0) _exit(123);
    if (options.traced && ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
      _exit(kTraceRefusedStatus);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(125);
  }
  EXPECT_GT(pid, 0) << "fork of the launcher failed: " << std::strerror(errno);
  if (pid <= 0) return -1;
  // Also from here, so the group exists before this returns whichever process runs first; once the
  // child has done it itself or has gone on to exec, this fails harmlessly.
  if (!withTerminal) setpgid(pid, pid);
  groups_.push_back(pid);
  return pid;
}

RunResult ProgramTest::finish(pid_t pid, std::chrono::seconds timeout) {
  RunResult result;
  if (pid <= 0) return result;
  // A launcher that never ends is a failure of its own, not a reason to hang the suite.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the launcher did not end within " << timeout.count() << " s";
      kill(-pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) {
    result.exitStatus = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    ADD_FAILURE() << "the launcher itself was ended by signal " << WTERMSIG(status);
  }
  result.out = readFile(scratchPath("stdout"));
  result.err = readFile(scratchPath("stderr"));
  return result;
}

RunResult ProgramTest::run(const std::vector<std::string>& args, const Environment& extra) {
  return finish(start(args, environment(extra)));
}

bool ProgramTest::optInstallPresent() {
  std::error_code ignored;
  return fs::exists("/opt/FennorWorks/FennorWorks", ignored) ||
         fs::exists("/opt/FennorWorksBeta/FennorWorksBeta", ignored);
}

bool processGroupGone(pid_t group) { return kill(-group, 0) != 0 && errno == ESRCH; }

PseudoTerminal::PseudoTerminal() {
  controller_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (controller_ < 0) {
    why_ = std::string("posix_openpt failed: ") + std::strerror(errno);
    return;
  }
  const char* name = nullptr;
  if (grantpt(controller_) != 0 || unlockpt(controller_) != 0 ||
      (name = ptsname(controller_)) == nullptr) {
    why_ = std::string("no terminal device: ") + std::strerror(errno);
    return;
  }
  devicePath_ = name;
}

PseudoTerminal::~PseudoTerminal() {
  if (controller_ >= 0) close(controller_);
}

bool PseudoTerminal::type(const std::string& keys) {
  return controller_ >= 0 &&
         write(controller_, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
}

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::vector<std::string> readEntries(const std::string& path) {
  const std::string text = readFile(path);
  std::vector<std::string> entries;
  std::size_t begin = 0;
  for (std::size_t end; (end = text.find('\0', begin)) != std::string::npos; begin = end + 1) {
    entries.push_back(text.substr(begin, end - begin));
  }
  return entries;
}

}  // namespace works::launcher::testing
