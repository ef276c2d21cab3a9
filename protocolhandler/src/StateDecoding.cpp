#include "StateDecoding.h"

#include <rapidjson/document.h>

#include <codecvt>
#include <iostream>
#include <locale>
#include <stdexcept>

#include "Base64Decode.h"

namespace {

constexpr char16_t kStateKey[] = u"state=";

// The first "state=" anywhere wins, whatever precedes it; the value runs to the next "&" or the end
// of the URL. A "#" does not end it: the fragment then becomes part of the Base64 text.
bool FindStateValue(const std::u16string& url, std::u16string& value) {
  const size_t keyAt = url.find(kStateKey);
  if (keyAt == std::u16string::npos) return false;
  const size_t valueAt = keyAt + std::char_traits<char16_t>::length(kStateKey);
  const size_t end = url.find(u'&', valueAt);
  value = url.substr(valueAt, end == std::u16string::npos ? std::u16string::npos : end - valueAt);
  return true;
}

bool HasNonBlank(const char* text) {
  for (; *text != '\0'; ++text) {
    if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r') return true;
  }
  return false;
}

// The state comes from whatever page started the browser, so its nesting depth is the attacker's
// choice; the recursive parser overflows the stack at a depth a command line can carry. The iterative
// parser agrees with it on every verdict and error code but one: a first character that cannot start
// a value, which it calls an empty document. The code printed stays the recursive parser's.
rapidjson::ParseErrorCode ParseJson(const char* text, rapidjson::Document& document) {
  document.Parse<rapidjson::kParseIterativeFlag>(text);
  const rapidjson::ParseErrorCode code = document.GetParseError();
  if (code == rapidjson::kParseErrorDocumentEmpty && HasNonBlank(text)) {
    return rapidjson::kParseErrorValueInvalid;
  }
  return code;
}

// UTF-8 never encodes the surrogate code points U+D800 to U+DFFF, and only they start with the byte
// ED followed by A0 to BF (ED is never a continuation byte). The standard converter lets them
// through, so a lone "\udc00" escape (which RapidJSON 1.1.0 accepts, unlike a lone "\ud800") or raw
// CESU-8 bytes would come out as a pipe name that is not well-formed UTF-16.
bool EncodesSurrogate(const std::string& utf8) {
  for (size_t i = 0; i + 1 < utf8.size(); ++i) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const auto next = static_cast<unsigned char>(utf8[i + 1]);
    if (lead == 0xED && next >= 0xA0 && next <= 0xBF) return true;
  }
  return false;
}

// Throws std::range_error on malformed UTF-8.
std::u16string Utf8ToUtf16(const std::string& utf8) {
  if (EncodesSurrogate(utf8)) throw std::range_error("bad conversion");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t> converter;
  std::u16string utf16 = converter.from_bytes(utf8);
  // A sequence cut short at the very end counts as "partial", not as an error: the converter stops
  // there and returns what it has, so "ab\xE8" would come back as "ab", another pipe's name.
  if (converter.converted() != utf8.size()) throw std::range_error("bad conversion");
  return utf16;
#pragma GCC diagnostic pop
}

}  // namespace

bool DecodePipeName(const char16_t* url, std::u16string& pipeName) {
  if (url == nullptr) return false;
  std::u16string value;
  if (!FindStateValue(url, value)) return false;

  std::string json;
  if (!Base64Decode(value, json)) return false;

  // Reading through c_str() stops at the first zero byte.
  rapidjson::Document document;
  const rapidjson::ParseErrorCode error = ParseJson(json.c_str(), document);
  if (error != rapidjson::kParseErrorNone) {
    std::cout << "Error parsing JSON: " << static_cast<int>(error) << std::endl;
    return false;
  }
  // Types are checked before every lookup: RapidJSON asserts on a lookup of the wrong type.
  if (!document.IsObject()) return false;
  const auto member = document.FindMember("pipeName");
  if (member == document.MemberEnd() || !member->value.IsString()) return false;

  std::u16string name;
  try {
    name = Utf8ToUtf16(member->value.GetString());
  } catch (const std::range_error&) {
    return false;
  }
  pipeName = std::move(name);
  return true;
}
