#include <gtest/gtest.h>

#include <string>

#include "cli/CliOptions.h"

namespace works::cli {
namespace {

// Users and scripts read these texts; they are compared byte for byte.
const char kUsage[] = R"(Usage: FennorWorks [--prod | --beta] [arguments...]
       FennorWorks launcher [--help | --version]

Launches the installed Fennor Works application and returns its exit
code. Every argument except --prod and --beta is forwarded to the
application; in particular, --help and --version are answered by
Fennor Works itself.

Options:
  --prod       Launch the production install (error if not installed).
  --beta       Launch the beta install (error if not installed).
Without either, the production install is launched if installed,
otherwise the beta one.

Launcher subcommand (does not start the application):
  launcher --help, -h      Print this help and exit.
  launcher --version, -V   Print the launcher version and exit.
)";

const char kChannelHint[] = R"(Channel selection (handled by the FennorWorks launcher):
  By default the production install of Fennor Works is run, or the
  beta install if it is the only one installed. Add --prod or --beta
  to any command to require a specific install.
  More about the launcher itself: FennorWorks launcher --help
)";

TEST(HelpTextsTest, UsageTextIsExact) {
  EXPECT_EQ(usageText(), kUsage);
  EXPECT_EQ(usageText().size(), 730u);
}

TEST(HelpTextsTest, ChannelHintIsExact) {
  EXPECT_EQ(channelHintText(), kChannelHint);
  EXPECT_EQ(channelHintText().size(), 303u);
}

}  // namespace
}  // namespace works::cli
