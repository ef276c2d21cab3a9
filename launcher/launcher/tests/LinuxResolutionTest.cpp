// Resolution under the Linux rules against the real filesystem, in a temporary home directory.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "launcher/InstallResolution.h"
#include "launcher/tests/ScopedHome.h"

namespace works::launcher {
namespace {

namespace fs = std::filesystem;
using testing::ScopedHome;

const std::string kOptProd = "/opt/FennorWorks/FennorWorks";
const std::string kOptBeta = "/opt/FennorWorksBeta/FennorWorksBeta";

class LinuxResolutionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "launcher-resolution-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    home_.emplace(root_.string());
  }
  void TearDown() override {
    home_.reset();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  std::string userInstall(Channel channel) const {
    return (root_ / ".local/share/Kestrine/Fennor Works" /
            (channel == Channel::Beta ? "v1-beta/FennorWorksBeta" : "v1/FennorWorks"))
        .string();
  }
  static void writeFile(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
  }
  static bool optInstallPresent(const std::string& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
  }

  fs::path root_;
  std::optional<ScopedHome> home_;
};

TEST_F(LinuxResolutionTest, BuildIsForLinux) { EXPECT_EQ(currentPlatform(), Platform::Linux); }

TEST_F(LinuxResolutionTest, AnythingAtThePathCountsButDanglingLinksDoNot) {
  const fs::path file = root_ / "file";
  const fs::path directory = root_ / "directory";
  const fs::path linkToFile = root_ / "link-to-file";
  const fs::path dangling = root_ / "dangling";
  writeFile(file);
  fs::create_directory(directory);
  fs::create_symlink(file, linkToFile);
  fs::create_symlink(root_ / "missing", dangling);

  struct Case {
    std::vector<std::string> candidates;
    std::optional<std::string> expected;
  };
  const std::string missing = (root_ / "missing").string();
  const std::string throughFile = (file / "inside").string();
  const Case cases[] = {
      {{}, std::nullopt},
      {{missing, file.string()}, file.string()},
      {{directory.string(), file.string()}, directory.string()},
      {{dangling.string(), linkToFile.string()}, linkToFile.string()},
      {{dangling.string(), throughFile, missing}, std::nullopt},
      {{""}, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(firstExistingExecutablePath(c.candidates), c.expected)
        << "first candidate: " << (c.candidates.empty() ? "(none)" : c.candidates.front());
  }
}

TEST_F(LinuxResolutionTest, UserInstallIsFoundAndChecksAreNotCached) {
  const std::string beta = userInstall(Channel::Beta);
  if (!optInstallPresent(kOptBeta)) {
    EXPECT_FALSE(isChannelInstalled(Channel::Beta));
  }
  writeFile(beta);
  EXPECT_TRUE(isChannelInstalled(Channel::Beta));
  const ResolveResult result = resolveInstalledExecutable(Channel::Beta);
  EXPECT_TRUE(result.found);
  EXPECT_EQ(result.executablePath, beta);
  EXPECT_EQ(result.errorMessage, "");
  fs::remove(beta);
  if (!optInstallPresent(kOptBeta)) {
    EXPECT_FALSE(isChannelInstalled(Channel::Beta));
  }
}

TEST_F(LinuxResolutionTest, DirectoryAtCandidateCountsAsInstall) {
  const std::string production = userInstall(Channel::Production);
  fs::create_directories(production);
  EXPECT_TRUE(isChannelInstalled(Channel::Production));
  EXPECT_EQ(resolveInstalledExecutable(Channel::Production).executablePath, production);
}

TEST_F(LinuxResolutionTest, NotFoundMessageNamesBothCandidatesAndTheNote) {
  if (optInstallPresent(kOptProd) || optInstallPresent(kOptBeta)) {
    GTEST_SKIP() << "an install under /opt exists on this machine";
  }
  const std::string expected = "Fennor Works was not found at \"" +
                               userInstall(Channel::Production) + "\" or \"" + kOptProd +
                               "\". Is Fennor Works installed?";
  EXPECT_EQ(resolveInstalledExecutable(Channel::Production).errorMessage, expected);

  writeFile(userInstall(Channel::Beta));
  const ResolveResult result = resolveInstalledExecutable(Channel::Production);
  EXPECT_FALSE(result.found);
  EXPECT_EQ(result.executablePath, "");
  EXPECT_EQ(result.errorMessage,
            expected +
                "\nNote: Only the beta version of Fennor Works is installed; install the "
                "production version first, or remove --prod to launch the beta one.");
}

// Paths the test function was asked about; a plain function pointer carries no state of its own.
std::vector<std::string> gAsked;
bool acceptOnlyOptInstalls(const std::string& path) {
  gAsked.push_back(path);
  return path == kOptProd || path == kOptBeta;
}

TEST_F(LinuxResolutionTest, TestFunctionDecidesForEveryCandidate) {
  gAsked.clear();
  const ResolveResult result = resolveInstalledExecutable(Channel::Beta, acceptOnlyOptInstalls);
  EXPECT_TRUE(result.found);
  EXPECT_EQ(result.executablePath, kOptBeta);
  EXPECT_EQ(gAsked, (std::vector<std::string>{userInstall(Channel::Beta), kOptBeta}));
}

TEST_F(LinuxResolutionTest, NullTestFunctionUsesTheFilesystem) {
  const std::string production = userInstall(Channel::Production);
  writeFile(production);
  const ResolveResult result = resolveInstalledExecutable(Channel::Production, nullptr);
  EXPECT_TRUE(result.found);
  EXPECT_EQ(result.executablePath, production);
}

}  // namespace
}  // namespace works::launcher
