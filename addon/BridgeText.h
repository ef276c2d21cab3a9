// UTF-16 <-> UTF-8 for the bridge, through the standard converter. Templated on the 16-bit unit type
// so that the same code serves wchar_t on Windows and char16_t in the host tests.
//
// The standard library's own texts for a rejected conversion differ between implementations; script
// is promised "bad conversion", so every rejection is raised with that text. A conversion that stops
// early (a lone surrogate at the end, a truncated UTF-8 sequence) is a rejection too: dropping the
// tail silently would hand on a different text than the one received.
#pragma once

#include <codecvt>
#include <cstdint>
#include <locale>
#include <stdexcept>
#include <string>

namespace Kestrine {
namespace bridge_text {

// The converter is deprecated in C++17 but is the one whose acceptance rules this interface keeps.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

template <typename Unit>
std::string Utf16ToUtf8(const Unit* text, size_t length) {
  static_assert(sizeof(Unit) == 2, "UTF-16 code units");
  std::wstring_convert<std::codecvt_utf8_utf16<Unit>, Unit> converter;
  std::string result;
  try {
    result = converter.to_bytes(text, text + length);
  } catch (const std::range_error&) {
    throw std::range_error("bad conversion");
  }
  if (converter.converted() != length) throw std::range_error("bad conversion");
  return result;
}

template <typename Unit>
std::basic_string<Unit> Utf8ToUtf16(const std::string& text) {
  static_assert(sizeof(Unit) == 2, "UTF-16 code units");
  std::wstring_convert<std::codecvt_utf8_utf16<Unit>, Unit> converter;
  std::basic_string<Unit> result;
  try {
    result = converter.from_bytes(text.data(), text.data() + text.size());
  } catch (const std::range_error&) {
    throw std::range_error("bad conversion");
  }
  if (converter.converted() != text.size()) throw std::range_error("bad conversion");
  return result;
}

#pragma GCC diagnostic pop

// Whether the standard converter above accepts the text: every high surrogate directly followed by a
// low one, no low surrogate on its own. Lets a caller that needs no UTF-8 bytes (a script string can
// be made from UTF-16 directly) apply the same rule without paying for the conversion.
template <typename Unit>
bool IsWellFormedUtf16(const Unit* text, size_t length) {
  static_assert(sizeof(Unit) == 2, "UTF-16 code units");
  for (size_t i = 0; i < length; ++i) {
    const uint16_t unit = static_cast<uint16_t>(text[i]);
    if (unit < 0xD800 || unit > 0xDFFF) continue;
    if (unit >= 0xDC00) return false;
    if (i + 1 == length) return false;
    const uint16_t next = static_cast<uint16_t>(text[i + 1]);
    if (next < 0xDC00 || next > 0xDFFF) return false;
    ++i;
  }
  return true;
}

}  // namespace bridge_text
}  // namespace Kestrine
