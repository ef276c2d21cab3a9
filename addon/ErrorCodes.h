// Names of the client library's error codes, and the messages the addon throws when a client call
// fails.
#pragma once

#include <cstdint>
#include <string>

namespace Kestrine {

// The symbolic name of a client error code; "Unknown error code" for every code not in the client's
// table. Static text, never null.
const char* ErrorCodeToString(int32_t code);

// The message for a failed client call: the call site's prefix (ending in a space) followed by the
// code's name, and nothing else: script code matches on these texts.
std::string ClientErrorMessage(const char* prefix, int32_t code);

}  // namespace Kestrine
