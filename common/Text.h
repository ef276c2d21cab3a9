// UTF-8 <-> UTF-16 for every product component, one rule set under three failure policies:
//   Utf8FromUtf16 / Utf16FromUtf8 ....... strict: nullopt for ill-formed input;
//   ...OrBadConversion .................. the same rules, a rejection raised as
//                                         std::range_error("bad conversion"), the text script and
//                                         the state decoding are promised;
//   Utf8ByCodePage (Windows) ............ WideCharToMultiByte(CP_UTF8, flags 0): whatever the system
//                                         does with ill-formed input (it replaces, it does not fail).
//
// Well-formed means: UTF-16 with every high surrogate directly followed by a low one and no low one
// on its own; UTF-8 in its shortest form, at most U+10FFFF, no encoded surrogate (ED A0..BF), no
// sequence cut short at the end. Embedded NUL is an ordinary character. The standard converter
// (codecvt_utf8_utf16) passes encoded surrogates and stops silently at a truncated end; both are
// rejected here, because either would hand on a different text than the one received.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fennor {

std::optional<std::string> Utf8FromUtf16(std::u16string_view text);
std::optional<std::u16string> Utf16FromUtf8(std::string_view text);
bool IsWellFormedUtf16(std::u16string_view text);

std::string Utf8FromUtf16OrBadConversion(std::u16string_view text);
std::u16string Utf16FromUtf8OrBadConversion(std::string_view text);

#ifdef _WIN32
// The same over wchar_t, the unit of the Windows interfaces.
std::optional<std::string> Utf8FromUtf16(std::wstring_view text);
std::optional<std::wstring> WideFromUtf8(std::string_view text);
bool IsWellFormedUtf16(std::wstring_view text);
std::string Utf8FromUtf16OrBadConversion(std::wstring_view text);
std::wstring WideFromUtf8OrBadConversion(std::string_view text);

// Empty input gives an empty result without a call; nullopt when the call fails. Raises
// std::length_error for a text longer than the call can take (INT_MAX units).
std::optional<std::string> Utf8ByCodePage(std::wstring_view text);
#endif

}  // namespace fennor
