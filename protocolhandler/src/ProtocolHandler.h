// The protocol handler's commands: --register <protocol URI> and --open-url <redirect URL>.
#pragma once

#include <string>
#include <vector>

// args is the whole command line, program path first. Returns the process exit code: 0 when the
// command did its work, 1 on any failure (after a one-line message).
int RunProtocolHandler(const std::vector<std::wstring>& args);
