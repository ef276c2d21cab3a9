// Text conversions of the client simulator: UTF-8 configuration text to the UTF-16 the client API
// speaks, and UTF-16 back to JSON for the call log.
//
// Its own copy, not the product's common/Text.h: the call log is what the tests hold the addon's
// conversions against, and a fault shared by both sides would cancel out there.
#pragma once

#include <string>
#include <string_view>

namespace orlosim {

// Converts well-formed UTF-8 (the configuration parser has validated it) to UTF-16.
std::wstring Utf8ToWide(std::string_view utf8);

// Best-effort UTF-8 for diagnostics: ill-formed UTF-16 becomes U+FFFD.
std::string WideToUtf8Lossy(std::wstring_view wide);

// A JSON string literal, quotes included, holding exactly the given UTF-16 code units: well-formed
// text is written as UTF-8, and a lone surrogate as a \uXXXX escape, which JSON readers turn back
// into that same code unit. The log therefore shows what the caller passed, even when it was not
// valid Unicode.
std::string JsonStringFromWide(std::wstring_view wide);

// A JSON string literal for UTF-8 text of our own (function names, diagnostics).
std::string JsonStringFromUtf8(std::string_view utf8);

}  // namespace orlosim
