#include "tests/ProgramTestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
                         const std::vector<std::string>& wrapper) {
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

  const std::string out = scratchPath("stdout");
  const std::string err = scratchPath("stderr");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  EXPECT_EQ(error, 0) << "posix_spawn of the launcher failed";
  return error == 0 ? pid : -1;
}

RunResult ProgramTest::finish(pid_t pid) {
  RunResult result;
  if (pid <= 0) return result;
  // A launcher that never ends is a failure of its own, not a reason to hang the suite.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the launcher did not end within 30 s";
      kill(pid, SIGKILL);
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
