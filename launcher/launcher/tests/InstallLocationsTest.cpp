// The fixed location rules: candidate lists, default paths, registry subkeys and the Windows
// install-location rule. These hold on every build, whatever platform it is for; only the
// separator a join inserts is the build's own, so the POSIX lists are checked on POSIX builds.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "launcher/InstallResolution.h"

namespace works::launcher {
namespace {

using Paths = std::vector<std::string>;

#ifdef _WIN32
const std::string kSeparator = "\\";
#else
const std::string kSeparator = "/";
#endif

#ifndef _WIN32
const std::string kUserProd =
    "Library/Application Support/Kestrine/Fennor Works/v1/Fennor "
    "Works.app/Contents/MacOS/FennorWorks";
const std::string kUserBeta =
    "Library/Application Support/Kestrine/Fennor Works/v1-beta/Fennor Works.app/Contents/MacOS/"
    "FennorWorks";
const std::string kApplications = "/Applications/FennorWorks.app/Contents/MacOS/FennorWorks";

struct MacosListCase {
  const char* name;
  Channel channel;
  std::string home;
  Paths expected;
};

class MacosExecutablePathsTest : public ::testing::TestWithParam<MacosListCase> {};

TEST_P(MacosExecutablePathsTest, ListsCandidatesInOrder) {
  EXPECT_EQ(macosExecutablePaths(GetParam().channel, GetParam().home), GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Homes, MacosExecutablePathsTest, ::testing::Values(
  MacosListCase{"Production", Channel::Production, "/Users/ann",
                {"/Users/ann/" + kUserProd, "/" + kUserProd, kApplications}},
  MacosListCase{"Beta", Channel::Beta, "/Users/ann",
                {"/Users/ann/" + kUserBeta, "/" + kUserBeta, kApplications}},
  MacosListCase{"EmptyHomeDropsUserBundle", Channel::Production, "", {"/" + kUserProd, kApplications}},
  MacosListCase{"TrailingSlashNotDoubled", Channel::Beta, "/Users/ann/",
                {"/Users/ann/" + kUserBeta, "/" + kUserBeta, kApplications}},
  MacosListCase{"RootHomeRepeatsMachineBundle", Channel::Production, "/",
                {"/" + kUserProd, "/" + kUserProd, kApplications}},
  MacosListCase{"DoubledSlashesKept", Channel::Production, "/Users//ann//",
                {"/Users//ann//" + kUserProd, "/" + kUserProd, kApplications}},
  MacosListCase{"RelativeHomeNotMadeAbsolute", Channel::Production, "ann",
                {"ann/" + kUserProd, "/" + kUserProd, kApplications}},
  MacosListCase{"UnknownChannelIsProduction", static_cast<Channel>(7), "/Users/ann",
                {"/Users/ann/" + kUserProd, "/" + kUserProd, kApplications}}),
  [](const ::testing::TestParamInfo<MacosListCase>& tested) { return std::string(tested.param.name); });
// clang-format on

TEST(LinuxExecutablePathsTest, PerUserInstallBeforeOpt) {
  EXPECT_EQ(linuxExecutablePaths(Channel::Production, "/home/ann"),
            (Paths{"/home/ann/.local/share/Kestrine/Fennor Works/v1/FennorWorks",
                   "/opt/FennorWorks/FennorWorks"}));
  EXPECT_EQ(linuxExecutablePaths(Channel::Beta, "/home/ann/"),
            (Paths{"/home/ann/.local/share/Kestrine/Fennor Works/v1-beta/FennorWorksBeta",
                   "/opt/FennorWorksBeta/FennorWorksBeta"}));
  EXPECT_EQ(linuxExecutablePaths(Channel::Beta, ""),
            (Paths{"/opt/FennorWorksBeta/FennorWorksBeta"}));
}
#endif

TEST(DefaultExecutablePathTest, PerPlatformAndChannel) {
  const std::string bundle = "/Applications/FennorWorks.app/Contents/MacOS/FennorWorks";
  EXPECT_EQ(defaultExecutablePath(Platform::MacOS, Channel::Production), bundle);
  EXPECT_EQ(defaultExecutablePath(Platform::MacOS, Channel::Beta), bundle);
  EXPECT_EQ(defaultExecutablePath(Platform::Linux, Channel::Production),
            std::string("/opt/FennorWorks/FennorWorks"));
  EXPECT_EQ(defaultExecutablePath(Platform::Linux, Channel::Beta),
            std::string("/opt/FennorWorksBeta/FennorWorksBeta"));
  EXPECT_EQ(defaultExecutablePath(Platform::Windows, Channel::Production), std::nullopt);
  EXPECT_EQ(defaultExecutablePath(Platform::Windows, Channel::Beta), std::nullopt);
  EXPECT_EQ(defaultExecutablePath(static_cast<Platform>(3), Channel::Production), std::nullopt);
}

TEST(WindowsRegistrySubKeyTest, PerChannel) {
  EXPECT_EQ(windowsRegistrySubKey(Channel::Production), "Software\\Kestrine\\FennorWorks");
  EXPECT_EQ(windowsRegistrySubKey(Channel::Beta), "Software\\Kestrine\\FennorWorksBeta");
}

struct LocationCase {
  const char* name;
  std::string location;
  std::string expected;
};

class WindowsExecutableFromInstallLocationTest : public ::testing::TestWithParam<LocationCase> {};

TEST_P(WindowsExecutableFromInstallLocationTest, MapsLocationToExecutable) {
  EXPECT_EQ(windowsExecutableFromInstallLocation(GetParam().location), GetParam().expected);
}

// The join inserts this build's separator.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Locations, WindowsExecutableFromInstallLocationTest, ::testing::Values(
  LocationCase{"ExecutableKept", "C:\\Apps\\FennorWorks.exe", "C:\\Apps\\FennorWorks.exe"},
  LocationCase{"UpperCaseExtensionKept", "C:\\Apps\\Other.EXE", "C:\\Apps\\Other.EXE"},
  LocationCase{"MixedCaseExtensionKept", "D:\\x.eXe", "D:\\x.eXe"},
  LocationCase{"BareExtensionKept", ".exe", ".exe"},
  LocationCase{"ThreeBytesJoined", "exe", "exe" + kSeparator + "FennorWorks.exe"},
  LocationCase{"EmptyGivesFileName", "", "FennorWorks.exe"},
  LocationCase{"FolderJoined", "C:\\Apps\\Fennor Works", "C:\\Apps\\Fennor Works" + kSeparator + "FennorWorks.exe"},
  LocationCase{"FolderWithSeparatorNotDoubled", "/opt/fw/", "/opt/fw/FennorWorks.exe"},
  LocationCase{"ExtensionWithoutDotJoined", "C:\\Appsexe", "C:\\Appsexe" + kSeparator + "FennorWorks.exe"},
  LocationCase{"QuotesNotStripped", "\"C:\\Apps\\FennorWorks.exe\"",
               "\"C:\\Apps\\FennorWorks.exe\"" + kSeparator + "FennorWorks.exe"},
  LocationCase{"TrailingSpaceNotStripped", "C:\\FennorWorks.exe ", "C:\\FennorWorks.exe " + kSeparator + "FennorWorks.exe"},
  LocationCase{"NonAsciiNotFolded", "C:\\a.\xC3\x89XE", "C:\\a.\xC3\x89XE" + kSeparator + "FennorWorks.exe"}),
  [](const ::testing::TestParamInfo<LocationCase>& tested) { return std::string(tested.param.name); });
// clang-format on

TEST(DefaultChannelTest, ProductionWinsUnlessOnlyBetaIsInstalled) {
  EXPECT_EQ(defaultChannel(false, false), Channel::Production);
  EXPECT_EQ(defaultChannel(false, true), Channel::Beta);
  EXPECT_EQ(defaultChannel(true, false), Channel::Production);
  EXPECT_EQ(defaultChannel(true, true), Channel::Production);
}

}  // namespace
}  // namespace works::launcher
