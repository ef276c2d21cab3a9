// Runs the application as a child process and stays with it until it ends.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace works::launcher {

// Starts executable (no PATH search) with argv[0] = executable followed by args, the launcher's own
// environment and standard streams, and blocks until it ends. Returns the status to exit with: the
// child's exit status, or 128 + n when signal n ended it. On failure returns nothing and replaces
// error with a message naming the failed call; on success error is left untouched.
std::optional<int> launchAndWait(const std::string& executable,
                                 const std::vector<std::string>& args, std::string& error);

}  // namespace works::launcher
