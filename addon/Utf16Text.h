// UTF-16 from the client library to the UTF-8 that script strings are made from.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace Kestrine {

// The UTF-8 form of well-formed UTF-16; nullopt when the text holds a surrogate that is not half of
// a pair, wherever it stands (a high surrogate in the last unit included), rather than dropping or
// replacing it.
std::optional<std::string> Utf16ToUtf8(std::wstring_view text);

}  // namespace Kestrine
