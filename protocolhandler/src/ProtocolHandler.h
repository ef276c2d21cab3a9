// The protocol handler's commands: --register <protocol URI>, --open-url <redirect URL> and
// --unregister <protocol URI>.
#pragma once

#include <string>
#include <vector>

// args is the whole command line, program path first. Returns the process exit code: 0 when the
// command did its work, 1 on any failure (after a one-line message).
int RunProtocolHandler(const std::vector<std::wstring>& args);
