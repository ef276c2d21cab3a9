#include "BridgeText.h"

#include <gtest/gtest.h>

#include <string>

using Kestrine::bridge_text::Utf16ToUtf8;
using Kestrine::bridge_text::Utf8ToUtf16;

namespace {

std::string ToUtf8(const std::u16string& text) { return Utf16ToUtf8(text.data(), text.size()); }

std::string RejectionOf(const std::u16string& text) {
  try {
    ToUtf8(text);
  } catch (const std::range_error& e) {
    return e.what();
  }
  return "<accepted>";
}

TEST(BridgeText, Utf16ToUtf8) {
  EXPECT_EQ(ToUtf8(u""), "");
  EXPECT_EQ(ToUtf8(u"session started"), "session started");
  EXPECT_EQ(ToUtf8(u"Jos\u00e9 \u20ac"), "Jos\xc3\xa9 \xe2\x82\xac");
  EXPECT_EQ(ToUtf8(u"a\U0001F600z"), "a\xf0\x9f\x98\x80z");  // a pair becomes four bytes
}

TEST(BridgeText, IllFormedUtf16IsRejectedAsBadConversion) {
  const std::u16string cases[] = {
      {u'a', char16_t(0xD83D), u'b'},  // high surrogate, then not a low one
      {u'a', char16_t(0xD83D)},        // high surrogate at the end: nothing may be dropped
      {u'a', char16_t(0xDE00), u'b'},  // lone low surrogate
  };
  for (const std::u16string& text : cases) EXPECT_EQ(RejectionOf(text), "bad conversion");
}

TEST(BridgeText, Utf8ToUtf16) {
  EXPECT_EQ(Utf8ToUtf16<char16_t>("C:\\Users\\Jos\xc3\xa9\\h.exe"), u"C:\\Users\\Jos\u00e9\\h.exe");
  EXPECT_EQ(Utf8ToUtf16<char16_t>("\xf0\x9f\x98\x80"), u"\U0001F600");
  for (const char* bad : {"\xc3", "a\xff", "\xe0\x80\x80"}) {
    EXPECT_THROW(
        {
          try {
            Utf8ToUtf16<char16_t>(bad);
          } catch (const std::range_error& e) {
            EXPECT_STREQ(e.what(), "bad conversion");
            throw;
          }
        },
        std::range_error);
  }
}

}  // namespace

namespace {

// The quick check must accept exactly what the standard converter accepts: compared over every
// sequence of up to four units drawn from the units where the rules change.
TEST(BridgeText, WellFormedCheckAgreesWithTheConverter) {
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
      bool converterAccepts = true;
      try {
        Utf16ToUtf8(text.data(), text.size());
      } catch (const std::range_error&) {
        converterAccepts = false;
      }
      ASSERT_EQ(Kestrine::bridge_text::IsWellFormedUtf16(text.data(), text.size()),
                converterAccepts)
          << "at combination " << index << " of length " << length;
    }
  }
}

}  // namespace
