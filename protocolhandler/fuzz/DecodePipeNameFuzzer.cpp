// The redirect URL comes from whatever web page sent the browser, so every byte of it is hostile.
// The first input byte chooses how the rest becomes a URL:
//   0  UTF-16 code units, little-endian, as the command line hands them over (lone surrogates too)
//   1  bytes widened to code units, so "state=" and Base64 text turn up quickly
//   2  "fennor://signin?code=c&state=" followed by the Base64 of the rest: the JSON parser's input
//
// Beyond surviving under the sanitizers, every run checks:
//  - the verdict, the name and the one "Error parsing JSON" line agree with RapidJSON's ordinary
//    recursive parser on the same bytes (the code uses the iterative one against deep nesting),
//  - a name that comes back is well-formed UTF-16 without NUL units,
//  - a name let through by the pipe-name rule cannot be folded by path normalisation into "." or
//    "..", nor be empty,
//  - the decoder inverts the encoder, and what it accepts re-encodes to text it accepts again.
#include <rapidjson/document.h>

#include <codecvt>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <locale>
#include <sstream>
#include <string>

#include "Base64Decode.h"
#include "Base64Encode.h"
#include "PipeName.h"
#include "StateDecoding.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::cerr << "protocolhandler_decode_fuzzer: " << what << std::endl;
  std::abort();
}

void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}

std::u16string UrlFrom(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  const uint8_t mode = data[0] % 3;
  ++data;
  --size;
  std::u16string url;
  if (mode == 0) {
    for (size_t i = 0; i + 1 < size; i += 2) url.push_back(char16_t(data[i] | data[i + 1] << 8));
  } else if (mode == 1) {
    url.assign(data, data + size);
  } else {
    const std::string encoded = Base64Encode(std::string(data, data + size));
    url = u"fennor://signin?code=c&state=" + std::u16string(encoded.begin(), encoded.end());
  }
  // The command line cannot carry a NUL; the decoding reads the URL as a NUL-terminated text.
  return url.substr(0, url.find(u'\0'));
}

std::u16string StateValueOf(const std::u16string& url) {
  const size_t key = url.find(u"state=");
  if (key == std::u16string::npos) return {};
  const size_t begin = key + 6;
  const size_t end = url.find(u'&', begin);
  return url.substr(begin, end == std::u16string::npos ? std::u16string::npos : end - begin);
}

bool IsWellFormedUtf16(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

// Path normalisation drops trailing dots and spaces of a component and resolves "." and "..".
bool SurvivesNormalisation(const std::u16string& name) {
  size_t begin = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && name[i] != u'\\' && name[i] != u'/') continue;
    std::u16string component = name.substr(begin, i - begin);
    while (!component.empty() && (component.back() == u'.' || component.back() == u' ')) {
      component.pop_back();
    }
    if (component.empty() || component == u"." || component == u"..") return false;
    begin = i + 1;
  }
  return true;
}

struct Expected {
  bool ok = false;
  std::u16string name;
  std::string out;
};

// The verdict of the ordinary recursive parser, reached the straightforward way.
Expected ExpectedFor(const std::string& bytes) {
  Expected expected;
  rapidjson::Document document;
  document.Parse(bytes.c_str());
  if (document.HasParseError()) {
    expected.out = "Error parsing JSON: " + std::to_string(static_cast<int>(document.GetParseError())) + "\n";
    return expected;
  }
  if (!document.IsObject()) return expected;
  const auto member = document.FindMember("pipeName");
  if (member == document.MemberEnd() || !member->value.IsString()) return expected;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t> converter;
  // Well-formed UTF-8 is exactly what converts to well-formed UTF-16 and back to the same bytes.
  const std::string text = member->value.GetString();
  try {
    expected.name = converter.from_bytes(text);
    if (!IsWellFormedUtf16(expected.name) || converter.to_bytes(expected.name) != text) {
      return expected;
    }
  } catch (const std::range_error&) {
    return expected;
  }
#pragma GCC diagnostic pop
  expected.ok = true;
  return expected;
}

// The recursive parser is only an oracle here; keep it far from its own stack limit.
bool ShallowEnough(const std::string& bytes) {
  size_t open = 0;
  for (char c : bytes) open += c == '[' || c == '{';
  return open < 2000;
}

void CheckBase64(const std::u16string& value, bool accepted, const std::string& bytes) {
  if (!accepted) return;
  Check(value.size() % 4 == 0, "accepted Base64 whose length is not a multiple of 4");
  Check(bytes.size() + 2 >= value.size() / 4 * 3 && bytes.size() <= value.size() / 4 * 3,
        "decoded length does not match the text length");
  const std::string again = Base64Encode(bytes);
  std::string redecoded;
  Check(Base64Decode(std::u16string(again.begin(), again.end()), redecoded) && redecoded == bytes,
        "re-encoded bytes do not decode to themselves");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string url = UrlFrom(data, size);

  std::ostringstream captured;
  std::streambuf* const original = std::cout.rdbuf(captured.rdbuf());
  std::u16string name = u"untouched";
  const bool ok = DecodePipeName(url.c_str(), name);
  std::cout.rdbuf(original);

  if (ok) {
    Check(IsWellFormedUtf16(name), "pipe name is not well-formed UTF-16");
    Check(name.find(u'\0') == std::u16string::npos, "pipe name holds a NUL unit");
    if (IsPipeNameInsideNamespace(name)) {
      Check(SurvivesNormalisation(name), "accepted pipe name normalises out of the namespace");
    }
  } else {
    Check(name == u"untouched", "a failed decoding changed the receiving string");
  }

  if (url.find(u"state=") == std::u16string::npos) {
    Check(!ok && captured.str().empty(), "a URL without state= decoded or printed");
    return 0;
  }
  const std::u16string value = StateValueOf(url);
  std::string bytes;
  const bool decodedBase64 = Base64Decode(value, bytes);
  CheckBase64(value, decodedBase64, bytes);
  if (data[0] % 3 == 2 && size > 1) {
    Check(decodedBase64 && bytes == std::string(data + 1, data + size),
          "Base64 of the input did not decode back to the input");
  }
  if (!decodedBase64) {
    Check(!ok && captured.str().empty(), "undecodable Base64 decoded or printed");
    return 0;
  }
  if (!ShallowEnough(bytes)) return 0;
  const Expected expected = ExpectedFor(bytes);
  Check(ok == expected.ok, "verdict differs from the recursive parser's");
  Check(captured.str() == expected.out, "parse error line differs from the recursive parser's");
  if (ok) Check(name == expected.name, "pipe name differs from the recursive parser's");
  return 0;
}
