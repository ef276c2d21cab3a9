#include "common/Text.h"

#include <gtest/gtest.h>

#include <codecvt>
#include <locale>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

using fennor::IsWellFormedUtf16;
using fennor::Utf16FromUtf8;
using fennor::Utf16FromUtf8OrBadConversion;
using fennor::Utf8FromUtf16;
using fennor::Utf8FromUtf16OrBadConversion;

// Every input the conversions meet, with the one answer all policies must agree on (nullopt:
// rejected).
struct Utf8Case {
  const char* name;
  std::string utf8;
  std::optional<std::u16string> utf16;
};

const Utf8Case kUtf8Cases[] = {
    {"empty", "", u""},
    {"ascii", "pipe-1", u"pipe-1"},
    {"two bytes", "Jos\xc3\xa9", u"Jos\u00e9"},
    {"three bytes", "\xe2\x82\xac", u"\u20ac"},
    {"last before surrogates", "\xed\x9f\xbf", u"\ud7ff"},
    {"first after surrogates", "\xee\x80\x80", u"\ue000"},
    {"four bytes become a pair", "a\xf0\x9f\x98\x80z", u"a\U0001F600z"},
    {"largest code point", "\xf4\x8f\xbf\xbf", u"\U0010FFFF"},
    {"embedded NUL", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    {"byte order mark kept", "\xef\xbb\xbfx", u"\ufeffx"},
    {"encoded high surrogate", "\xed\xa0\x80", std::nullopt},
    {"encoded low surrogate", "a\xed\xb0\x80", std::nullopt},
    {"encoded pair (CESU-8)", "\xed\xa0\xbd\xed\xb8\x80", std::nullopt},
    {"overlong slash", "\xc0\xaf", std::nullopt},
    {"overlong NUL", "\xc0\x80", std::nullopt},
    {"overlong three bytes", "\xe0\x80\x80", std::nullopt},
    {"overlong four bytes", "\xf0\x8f\xbf\xbf", std::nullopt},
    {"above U+10FFFF", "\xf4\x90\x80\x80", std::nullopt},
    {"five-byte form", "\xf8\x88\x80\x80\x80", std::nullopt},
    {"lone continuation byte", "a\x80", std::nullopt},
    {"FF", "a\xff", std::nullopt},
    {"truncated two bytes at the end", "ab\xc3", std::nullopt},
    {"truncated three bytes at the end", "ab\xe8\x80", std::nullopt},
    {"truncated four bytes at the end", "\xf0\x9f\x98", std::nullopt},
    {"truncated inside", "\xe8\x80z", std::nullopt},
};

struct Utf16Case {
  const char* name;
  std::u16string utf16;
  std::optional<std::string> utf8;
};

const Utf16Case kUtf16Cases[] = {
    {"empty", u"", ""},
    {"ascii", u"session started", "session started"},
    {"BMP", u"Jos\u00e9 \u20ac", "Jos\xc3\xa9 \xe2\x82\xac"},
    {"pair becomes four bytes", u"a\U0001F600z", "a\xf0\x9f\x98\x80z"},
    {"embedded NUL", std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
    {"high surrogate then not a low one", {u'a', char16_t(0xD83D), u'b'}, std::nullopt},
    {"high surrogate in the last unit", {u'a', char16_t(0xD83D)}, std::nullopt},
    {"lone low surrogate", {u'a', char16_t(0xDE00), u'b'}, std::nullopt},
    {"pair in the wrong order", {char16_t(0xDE00), char16_t(0xD83D)}, std::nullopt},
    {"two high surrogates", {char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)}, std::nullopt},
};

TEST(Text, Utf8ToUtf16UnderEveryPolicy) {
  for (const Utf8Case& c : kUtf8Cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf16FromUtf8(c.utf8), c.utf16);
    if (c.utf16) {
      EXPECT_EQ(Utf16FromUtf8OrBadConversion(c.utf8), *c.utf16);
      // And back again, unchanged.
      EXPECT_EQ(Utf8FromUtf16(*c.utf16), c.utf8);
    } else {
      try {
        Utf16FromUtf8OrBadConversion(c.utf8);
        ADD_FAILURE() << "accepted";
      } catch (const std::range_error& e) {
        EXPECT_STREQ(e.what(), "bad conversion");
      }
    }
  }
}

TEST(Text, Utf16ToUtf8UnderEveryPolicy) {
  for (const Utf16Case& c : kUtf16Cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8FromUtf16(c.utf16), c.utf8);
    EXPECT_EQ(IsWellFormedUtf16(c.utf16), c.utf8.has_value());
    if (c.utf8) {
      EXPECT_EQ(Utf8FromUtf16OrBadConversion(c.utf16), *c.utf8);
    } else {
      try {
        Utf8FromUtf16OrBadConversion(c.utf16);
        ADD_FAILURE() << "accepted";
      } catch (const std::range_error& e) {
        EXPECT_STREQ(e.what(), "bad conversion");
      }
    }
  }
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
using StandardConverter = std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t>;

// What the standard converter accepts, counting a conversion that stops early as a rejection.
std::optional<std::u16string> StandardFromUtf8(const std::string& utf8) {
  StandardConverter converter;
  try {
    std::u16string out = converter.from_bytes(utf8);
    if (converter.converted() != utf8.size()) return std::nullopt;
    return out;
  } catch (const std::range_error&) {
    return std::nullopt;
  }
}

bool StandardAcceptsUtf16(const std::u16string& utf16) {
  StandardConverter converter;
  try {
    converter.to_bytes(utf16);
    return converter.converted() == utf16.size();
  } catch (const std::range_error&) {
    return false;
  }
}
#pragma GCC diagnostic pop

bool EncodesSurrogate(const std::string& utf8) {
  for (size_t i = 0; i + 1 < utf8.size(); ++i) {
    if (static_cast<unsigned char>(utf8[i]) == 0xED &&
        (static_cast<unsigned char>(utf8[i + 1]) & 0xE0) == 0xA0) {
      return true;
    }
  }
  return false;
}

// The rules are the standard converter's plus one: it lets encoded surrogates through. Compared over
// every sequence of up to four bytes drawn from the bytes where the rules change.
TEST(Text, Utf8RulesAreTheStandardConvertersWithoutEncodedSurrogates) {
  const unsigned char interesting[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF,
                                       0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4,
                                       0xF5, 0xFF};
  const size_t n = sizeof(interesting);
  std::string text;
  size_t surrogatesSeen = 0;
  for (size_t length = 1; length <= 4; ++length) {
    size_t combinations = 1;
    for (size_t i = 0; i < length; ++i) combinations *= n;
    for (size_t index = 0; index < combinations; ++index) {
      text.clear();
      for (size_t i = 0, rest = index; i < length; ++i, rest /= n) {
        text += static_cast<char>(interesting[rest % n]);
      }
      const std::optional<std::u16string> standard = StandardFromUtf8(text);
      const std::optional<std::u16string> ours = Utf16FromUtf8(text);
      if (standard && !ours && EncodesSurrogate(text)) {
        ++surrogatesSeen;
        continue;
      }
      ASSERT_EQ(ours, standard) << "at combination " << index << " of length " << length;
    }
  }
  // The one difference must really have been met, or the comparison proved less than it claims.
  EXPECT_GT(surrogatesSeen, 0u);
}

TEST(Text, Utf16RulesAreTheStandardConverters) {
  const char16_t interesting[] = {u'a', 0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xD800, 0xDBFF,
                                  0xDC00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFF};
  const size_t n = sizeof(interesting) / sizeof(interesting[0]);
  std::u16string text;
  for (size_t length = 1; length <= 4; ++length) {
    size_t combinations = 1;
    for (size_t i = 0; i < length; ++i) combinations *= n;
    for (size_t index = 0; index < combinations; ++index) {
      text.clear();
      for (size_t i = 0, rest = index; i < length; ++i, rest /= n) text += interesting[rest % n];
      const bool standard = StandardAcceptsUtf16(text);
      ASSERT_EQ(IsWellFormedUtf16(text), standard) << "at combination " << index;
      ASSERT_EQ(Utf8FromUtf16(text).has_value(), standard) << "at combination " << index;
    }
  }
}

}  // namespace
