#include "cli/CliOptions.h"

namespace works::cli {

std::string usageText() {
  return "Usage: FennorWorks [--prod | --beta] [arguments...]\n"
         "       FennorWorks launcher [--help | --version]\n"
         "\n"
         "Launches the installed Fennor Works application and returns its exit\n"
         "code. Every argument except --prod and --beta is forwarded to the\n"
         "application; in particular, --help and --version are answered by\n"
         "Fennor Works itself.\n"
         "\n"
         "Options:\n"
         "  --prod       Launch the production install (error if not installed).\n"
         "  --beta       Launch the beta install (error if not installed).\n"
         "Without either, the production install is launched if installed,\n"
         "otherwise the beta one.\n"
         "\n"
         "Launcher subcommand (does not start the application):\n"
         "  launcher --help, -h      Print this help and exit.\n"
         "  launcher --version, -V   Print the launcher version and exit.\n";
}

std::string channelHintText() {
  return "Channel selection (handled by the FennorWorks launcher):\n"
         "  By default the production install of Fennor Works is run, or the\n"
         "  beta install if it is the only one installed. Add --prod or --beta\n"
         "  to any command to require a specific install.\n"
         "  More about the launcher itself: FennorWorks launcher --help\n";
}

}  // namespace works::cli
