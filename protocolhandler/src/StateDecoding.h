// The redirect URL that ends a sign-in carries, in its "state" parameter, the name of the pipe on
// which the application that began the sign-in waits: standard Base64 of a UTF-8 JSON object whose
// string member "pipeName" holds the name.
//
// Text is UTF-16 in char16_t on every platform, so the same code runs where wchar_t is 32-bit.
#pragma once

#include <string>

// Reads the pipe name out of the redirect URL (NUL-terminated, may be null). On true pipeName holds
// the name; on false it is left as it was. A state that is not well-formed JSON is reported as one
// line "Error parsing JSON: <code>" on standard output; no other failure writes anything.
bool DecodePipeName(const char16_t* url, std::u16string& pipeName);
