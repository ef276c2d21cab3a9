// The redirect state, from URL to pipe name, as a table of URLs. Runs on the host (strict decoder)
// and under Wine (the system decoder).
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "Base64Decode.h"
#include "Base64Encode.h"
#include "StateDecoding.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// Wine's Base64 decoder accepts some text that Windows rejects (text after the padding, missing
// padding). Those rows assert the rejection only where the decoder is not Wine's.
bool RunningUnderWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::u16string RedirectWithState(const std::string& stateValue) {
  return u"fennor://signin?code=c0de&state=" + Ascii(stateValue);
}

std::u16string RedirectWithJson(const std::string& json) {
  return RedirectWithState(Base64Encode(json));
}

struct Decoded {
  bool ok;
  std::u16string name;
  std::string out;  // what went to standard output
};

Decoded Decode(const char16_t* url) {
  std::ostringstream captured;
  std::streambuf* const original = std::cout.rdbuf(captured.rdbuf());
  std::u16string name = u"untouched";
  const bool ok = DecodePipeName(url, name);
  std::cout.rdbuf(original);
  return {ok, name, captured.str()};
}

enum class Decoder { kAny, kStrictOnly };

struct Row {
  const char* what;
  std::u16string url;
  bool ok;
  std::u16string name;  // expected name when ok
  std::string out;
  Decoder decoder = Decoder::kAny;  // kStrictOnly: Wine accepts it, Windows and the host refuse
};

std::string Nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

std::vector<Row> Rows() {
  const std::string plain = R"({"pipeName":"fennor-signin"})";
  // {"pipeName":"?>"} encodes with a "+" and ends in "=" padding.
  const std::string padded = R"({"pipeName":"?>"})";
  std::string withPlus = Base64Encode(padded);
  const std::string percentPlus = withPlus.replace(withPlus.find('+'), 1, "%2B");
  std::string unpadded = Base64Encode(padded);
  unpadded.erase(unpadded.find('='));

  return {
      {"plain state", RedirectWithJson(plain), true, u"fennor-signin", ""},
      {"state between other parameters",
       u"fennor://signin?state=" + Ascii(Base64Encode(plain)) + u"&code=1&x=2", true,
       u"fennor-signin", ""},
      {"first state= wins, even inside another name",
       u"fennor://signin?mystate=" + Ascii(Base64Encode(R"({"pipeName":"first"})")) +
           u"&state=" + Ascii(Base64Encode(R"({"pipeName":"second"})")),
       true, u"first", ""},
      {"name is case-sensitive", u"fennor://signin?STATE=" + Ascii(Base64Encode(plain)), false,
       u"", ""},
      {"no state", u"fennor://signin?code=1", false, u"", ""},
      {"# does not end the value", RedirectWithState(Base64Encode(padded) + "#frag"), false, u"",
       "", Decoder::kStrictOnly},
      {"missing padding", RedirectWithState(unpadded), false, u"", "", Decoder::kStrictOnly},
      {"percent-encoded +", RedirectWithState(percentPlus), false, u"", ""},
      {"blank JSON", RedirectWithJson(" \t\r\n"), false, u"", "Error parsing JSON: 1\n"},
      {"text after the JSON value", RedirectWithJson(plain + " x"), false, u"",
       "Error parsing JSON: 2\n"},
      {"not a JSON value", RedirectWithJson("pipeName"), false, u"", "Error parsing JSON: 3\n"},
      {"trailing comma", RedirectWithJson(R"({"pipeName":"a",})"), false, u"",
       "Error parsing JSON: 4\n"},
      {"array root", RedirectWithJson(R"([{"pipeName":"a"}])"), false, u"", ""},
      {"string root", RedirectWithJson(R"("pipeName")"), false, u"", ""},
      {"number root", RedirectWithJson("42"), false, u"", ""},
      {"no pipeName", RedirectWithJson(R"({"PipeName":"a"})"), false, u"", ""},
      {"pipeName number", RedirectWithJson(R"({"pipeName":1})"), false, u"", ""},
      {"pipeName true", RedirectWithJson(R"({"pipeName":true})"), false, u"", ""},
      {"pipeName null", RedirectWithJson(R"({"pipeName":null})"), false, u"", ""},
      {"pipeName object", RedirectWithJson(R"({"pipeName":{}})"), false, u"", ""},
      {"pipeName array", RedirectWithJson(R"({"pipeName":["a"]})"), false, u"", ""},
      {"empty pipeName", RedirectWithJson(R"({"pipeName":""})"), true, u"", ""},
      {"escaped zero ends the name", RedirectWithJson(R"({"pipeName":"ab\u0000cd"})"), true,
       u"ab", ""},
      {"non-ASCII name", RedirectWithJson("{\"pipeName\":\"R\xC3\xA9seau-\xE7\xAE\xA1\"}"), true,
       u"R\u00E9seau-\u7BA1", ""},
      {"name outside the BMP", RedirectWithJson("{\"pipeName\":\"p\xF0\x9F\x98\x80\"}"), true,
       u"p\U0001F600", ""},
      {"escaped astral name", RedirectWithJson(R"({"pipeName":"\ud83d\ude00"})"), true,
       u"\U0001F600", ""},
      {"malformed UTF-8 in the name", RedirectWithJson("{\"pipeName\":\"a\xC3\x28\"}"), false, u"",
       ""},
      // Surrogate code points are not UTF-8, whichever way they arrive; a lone one would make a
      // name that is not well-formed UTF-16.
      {"escaped lone low surrogate", RedirectWithJson(R"({"pipeName":"a\udddd"})"), false, u"",
       ""},
      {"surrogate code point as raw bytes", RedirectWithJson("{\"pipeName\":\"a\xED\xB7\x9D\"}"),
       false, u"", ""},
      {"surrogate pair as two raw three-byte sequences",
       RedirectWithJson("{\"pipeName\":\"\xED\xA0\xBD\xED\xB8\x80\"}"), false, u"", ""},
      // A multi-byte sequence cut short at the end must not be dropped quietly: what is left would
      // name another pipe.
      {"truncated sequence at the end of the name", RedirectWithJson("{\"pipeName\":\"ab\xE8\"}"),
       false, u"", ""},
      {"truncated sequence before the last character",
       RedirectWithJson("{\"pipeName\":\"firs\xE8t\",\"pipeName\":\"second\"}"), false, u"", ""},
      {"last code points before and after the surrogates",
       RedirectWithJson("{\"pipeName\":\"\xED\x9F\xBF\xEE\x80\x80\"}"), true, u"\uD7FF\uE000",
       ""},
      {"bytes after a zero byte", RedirectWithJson(plain + std::string(1, '\0') + "garbage"), true,
       u"fennor-signin", ""},
      {"first of two pipeName members",
       RedirectWithJson(R"({"pipeName":"one","pipeName":"two"})"), true, u"one", ""},
      {"other members ignored",
       RedirectWithJson(R"({"a":[1,{"b":null}],"pipeName":"p","c":true,"d":"x"})"), true, u"p",
       ""},
      // Deeper than the call stack would allow a recursive parse.
      {"deep nesting next to the name",
       RedirectWithJson(R"({"deep":)" + Nested(100000) + R"(,"pipeName":"deep"})"), true,
       u"deep", ""},
      {"deep nesting, unterminated", RedirectWithJson(std::string(100000, '[')), false, u"",
       "Error parsing JSON: 3\n"},
  };
}

TEST(DecodePipeName, Table) {
  const bool wine = RunningUnderWine();
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.what);
    const Decoded got = Decode(row.url.c_str());
    if (row.decoder == Decoder::kStrictOnly && wine) {
      // Wine's decoder lets this through; what follows is Wine's business, not ours.
      continue;
    }
    EXPECT_EQ(got.ok, row.ok);
    EXPECT_EQ(got.name, row.ok ? row.name : u"untouched");
    EXPECT_EQ(got.out, row.out);
  }
}

// An empty value may be refused by the Base64 step or reach the JSON step as an empty document;
// either way no name comes out.
TEST(DecodePipeName, EmptyStateValueFails) {
  for (const std::u16string& url :
       {std::u16string(u"fennor://signin?state="), std::u16string(u"fennor://s?state=&code=1")}) {
    const Decoded got = Decode(url.c_str());
    EXPECT_FALSE(got.ok);
    EXPECT_EQ(got.name, u"untouched");
    EXPECT_TRUE(got.out.empty() || got.out == "Error parsing JSON: 1\n") << got.out;
  }
}

TEST(DecodePipeName, NullUrlFails) {
  const Decoded got = Decode(nullptr);
  EXPECT_FALSE(got.ok);
  EXPECT_EQ(got.out, "");
}

TEST(Base64Decode, PaddedBase64IsAlwaysAccepted) {
  const std::string samples[] = {"a", "ab", "abc", "abcd", std::string("\0\xFF\x10", 3),
                                 R"({"pipeName":"x"})"};
  for (const std::string& bytes : samples) {
    std::string decoded = "stale";
    ASSERT_TRUE(Base64Decode(Ascii(Base64Encode(bytes)), decoded)) << Base64Encode(bytes);
    EXPECT_EQ(decoded, bytes);
  }
}

TEST(Base64Decode, RejectsWhatNoDecoderAccepts) {
  for (const char* text : {"YQ=", "YW%2B", "Y!==", "%3D%3D"}) {
    std::string decoded;
    EXPECT_FALSE(Base64Decode(Ascii(text), decoded)) << text;
  }
}

}  // namespace
