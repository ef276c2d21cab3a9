// Resolution under the macOS rules (this test links the copy of the library built with them), with
// a test function standing in for the filesystem.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "launcher/InstallResolution.h"
#include "launcher/tests/ScopedHome.h"

namespace works::launcher {
namespace {

using testing::ScopedHome;

const std::string kUserProd =
    "/Users/ann/Library/Application Support/Kestrine/Fennor Works/v1/Fennor Works.app/Contents/"
    "MacOS/FennorWorks";
const std::string kUserBeta =
    "/Users/ann/Library/Application Support/Kestrine/Fennor Works/v1-beta/Fennor "
    "Works.app/Contents/"
    "MacOS/FennorWorks";
const std::string kMachineProd =
    "/Library/Application Support/Kestrine/Fennor Works/v1/Fennor Works.app/Contents/MacOS/"
    "FennorWorks";
const std::string kMachineBeta =
    "/Library/Application Support/Kestrine/Fennor Works/v1-beta/Fennor Works.app/Contents/MacOS/"
    "FennorWorks";
const std::string kApplications = "/Applications/FennorWorks.app/Contents/MacOS/FennorWorks";

const std::string kOnlyBetaNote =
    "\nNote: Only the beta version of Fennor Works is installed; install the production version "
    "first, or remove --prod to launch the beta one.";
const std::string kOnlyProductionNote =
    "\nNote: Only the production version of Fennor Works is installed; install the beta version "
    "first, or remove --beta to launch the production one.";

// The filesystem the test function presents, and every path it was asked about, in order.
std::set<std::string> gPresent;
std::vector<std::string> gAsked;

bool presentInFakeFilesystem(const std::string& path) {
  gAsked.push_back(path);
  return gPresent.count(path) > 0;
}

class MacosResolutionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gPresent.clear();
    gAsked.clear();
  }
  ResolveResult resolve(Channel channel) {
    return resolveInstalledExecutable(channel, presentInFakeFilesystem);
  }
};

TEST_F(MacosResolutionTest, BuildIsForMacos) { EXPECT_EQ(currentPlatform(), Platform::MacOS); }

struct NotFoundCase {
  const char* name;
  std::optional<std::string> home;
  std::string message;
};

class MacosNotFoundMessageTest : public ::testing::TestWithParam<NotFoundCase> {};

TEST_P(MacosNotFoundMessageTest, ListsEveryCandidateOfTheChannel) {
  gPresent.clear();
  ScopedHome home(GetParam().home);
  const ResolveResult result =
      resolveInstalledExecutable(Channel::Production, presentInFakeFilesystem);
  EXPECT_FALSE(result.found);
  EXPECT_EQ(result.executablePath, "");
  EXPECT_EQ(result.errorMessage, GetParam().message);
}

const std::string kTwoCandidates = "Fennor Works was not found at \"" + kMachineProd + "\" or \"" +
                                   kApplications + "\". Is Fennor Works installed?";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Homes, MacosNotFoundMessageTest, ::testing::Values(
  NotFoundCase{"UsersHome", std::string("/Users/ann"),
               "Fennor Works was not found at \"" + kUserProd + "\" or \"" + kMachineProd +
               "\" or \"" + kApplications + "\". Is Fennor Works installed?"},
  NotFoundCase{"TrailingSlash", std::string("/Users/ann/"),
               "Fennor Works was not found at \"" + kUserProd + "\" or \"" + kMachineProd +
               "\" or \"" + kApplications + "\". Is Fennor Works installed?"},
  NotFoundCase{"RootHome", std::string("/"),
               "Fennor Works was not found at \"" + kMachineProd + "\" or \"" + kMachineProd +
               "\" or \"" + kApplications + "\". Is Fennor Works installed?"},
  NotFoundCase{"HomeUnset", std::nullopt, kTwoCandidates},
  NotFoundCase{"HomeEmpty", std::string(""), kTwoCandidates}),
  [](const ::testing::TestParamInfo<NotFoundCase>& tested) { return std::string(tested.param.name); });
// clang-format on

TEST_F(MacosResolutionTest, FirstPassingCandidateWinsAndLaterOnesAreNotAsked) {
  ScopedHome home(std::string("/Users/ann"));
  gPresent = {kMachineProd, kApplications};
  const ResolveResult result = resolve(Channel::Production);
  EXPECT_TRUE(result.found);
  EXPECT_EQ(result.executablePath, kMachineProd);
  EXPECT_EQ(result.errorMessage, "");
  EXPECT_EQ(gAsked, (std::vector<std::string>{kUserProd, kMachineProd}));
}

TEST_F(MacosResolutionTest, ApplicationsBundleServesBothChannelsWithoutNote) {
  ScopedHome home(std::string("/Users/ann"));
  gPresent = {kApplications};
  for (Channel channel : {Channel::Production, Channel::Beta}) {
    const ResolveResult result = resolve(channel);
    EXPECT_TRUE(result.found);
    EXPECT_EQ(result.executablePath, kApplications);
    EXPECT_EQ(result.errorMessage, "");
  }
}

TEST_F(MacosResolutionTest, ProductionRequestWithOnlyUserBetaGetsBetaNote) {
  ScopedHome home(std::string("/Users/ann"));
  gPresent = {kUserBeta};
  const ResolveResult result = resolve(Channel::Production);
  EXPECT_FALSE(result.found);
  EXPECT_EQ(result.errorMessage, "Fennor Works was not found at \"" + kUserProd + "\" or \"" +
                                     kMachineProd + "\" or \"" + kApplications +
                                     "\". Is Fennor Works installed?" + kOnlyBetaNote);
  // The requested channel in full, then the other one only up to its first hit.
  EXPECT_EQ(gAsked, (std::vector<std::string>{kUserProd, kMachineProd, kApplications, kUserBeta}));
}

TEST_F(MacosResolutionTest, BetaRequestWithOnlyMachineProductionGetsProductionNote) {
  ScopedHome home(std::nullopt);
  gPresent = {kMachineProd};
  const ResolveResult result = resolve(Channel::Beta);
  EXPECT_FALSE(result.found);
  EXPECT_EQ(result.errorMessage, "Fennor Works (beta) was not found at \"" + kMachineBeta +
                                     "\" or \"" + kApplications +
                                     "\". Is Fennor Works (beta) installed?" + kOnlyProductionNote);
}

TEST_F(MacosResolutionTest, UnknownChannelValueResolvesAsProduction) {
  ScopedHome home(std::string("/Users/ann"));
  gPresent = {kUserProd, kUserBeta};
  const ResolveResult result = resolve(static_cast<Channel>(5));
  EXPECT_EQ(result.executablePath, kUserProd);
}

}  // namespace
}  // namespace works::launcher
