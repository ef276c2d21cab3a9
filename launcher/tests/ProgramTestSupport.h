// Runs the real FennorWorks program in a temporary home directory, with the fake application
// installed where the launcher looks for it on Linux.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace works::launcher::testing {

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
              const std::vector<std::string>& wrapper = {});
  RunResult finish(pid_t pid);
  RunResult run(const std::vector<std::string>& args, const Environment& extra = {});

  // The /opt installs are outside the test's control; tests that need them absent skip otherwise.
  static bool optInstallPresent();

  std::filesystem::path root_;
  std::filesystem::path home_;
};

std::string readFile(const std::string& path);
// Splits NUL-terminated entries, as the fake application reports them.
std::vector<std::string> readEntries(const std::string& path);

}  // namespace works::launcher::testing
