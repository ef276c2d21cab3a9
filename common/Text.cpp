#include "common/Text.h"

#include <cstdint>
#include <stdexcept>

namespace fennor {
namespace {

bool IsHigh(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

template <typename Unit>
bool WellFormed(std::basic_string_view<Unit> text) {
  static_assert(sizeof(Unit) == 2, "UTF-16 code units");
  for (size_t i = 0; i < text.size(); ++i) {
    const uint32_t unit = static_cast<uint16_t>(text[i]);
    if (IsLow(unit)) return false;
    if (IsHigh(unit)) {
      if (i + 1 == text.size() || !IsLow(static_cast<uint16_t>(text[i + 1]))) return false;
      ++i;
    }
  }
  return true;
}

template <typename Unit>
std::optional<std::string> ToUtf8(std::basic_string_view<Unit> text) {
  static_assert(sizeof(Unit) == 2, "UTF-16 code units");
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = static_cast<uint16_t>(text[i]);
    if (IsLow(cp)) return std::nullopt;
    if (IsHigh(cp)) {
      if (i + 1 == text.size()) return std::nullopt;
      const uint32_t low = static_cast<uint16_t>(text[i + 1]);
      if (!IsLow(low)) return std::nullopt;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      ++i;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

// Length of the sequence that lead starts and the range its second byte must lie in; 0 for a byte
// that starts nothing (a continuation byte, C0, C1, F5 to FF). The narrowed second-byte ranges are
// what exclude overlong forms, encoded surrogates and code points above U+10FFFF.
struct Lead {
  int length;
  unsigned char secondMin;
  unsigned char secondMax;
};

Lead LeadOf(unsigned char lead) {
  if (lead < 0x80) return {1, 0, 0};
  if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (lead == 0xED) return {3, 0x80, 0x9F};
  if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

template <typename Unit>
std::optional<std::basic_string<Unit>> FromUtf8(std::string_view text) {
  static_assert(sizeof(Unit) == 2, "UTF-16 code units");
  std::basic_string<Unit> out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const Lead rule = LeadOf(lead);
    if (rule.length == 0 || text.size() - i < static_cast<size_t>(rule.length)) return std::nullopt;
    if (rule.length == 1) {
      out += static_cast<Unit>(lead);
      ++i;
      continue;
    }
    const auto second = static_cast<unsigned char>(text[i + 1]);
    if (second < rule.secondMin || second > rule.secondMax) return std::nullopt;
    uint32_t cp = lead & (0xFF >> (rule.length + 1));
    for (int k = 1; k < rule.length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      cp = (cp << 6) | (next & 0x3F);
    }
    i += static_cast<size_t>(rule.length);
    if (cp < 0x10000) {
      out += static_cast<Unit>(cp);
    } else {
      cp -= 0x10000;
      out += static_cast<Unit>(0xD800 + (cp >> 10));
      out += static_cast<Unit>(0xDC00 + (cp & 0x3FF));
    }
  }
  return out;
}

template <typename T>
T OrBadConversion(std::optional<T> converted) {
  if (!converted) throw std::range_error("bad conversion");
  return std::move(*converted);
}

}  // namespace

std::optional<std::string> Utf8FromUtf16(std::u16string_view text) { return ToUtf8(text); }
std::optional<std::u16string> Utf16FromUtf8(std::string_view text) {
  return FromUtf8<char16_t>(text);
}
bool IsWellFormedUtf16(std::u16string_view text) { return WellFormed(text); }

std::string Utf8FromUtf16OrBadConversion(std::u16string_view text) {
  return OrBadConversion(ToUtf8(text));
}
std::u16string Utf16FromUtf8OrBadConversion(std::string_view text) {
  return OrBadConversion(FromUtf8<char16_t>(text));
}

#ifdef _WIN32
std::optional<std::string> Utf8FromUtf16(std::wstring_view text) { return ToUtf8(text); }
std::optional<std::wstring> WideFromUtf8(std::string_view text) { return FromUtf8<wchar_t>(text); }
bool IsWellFormedUtf16(std::wstring_view text) { return WellFormed(text); }
std::string Utf8FromUtf16OrBadConversion(std::wstring_view text) {
  return OrBadConversion(ToUtf8(text));
}
std::wstring WideFromUtf8OrBadConversion(std::string_view text) {
  return OrBadConversion(FromUtf8<wchar_t>(text));
}
#endif

}  // namespace fennor
