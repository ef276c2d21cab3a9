#include "StateDecoding.h"

#include <rapidjson/document.h>

#include <iostream>
#include <stdexcept>

#include "Base64Decode.h"
#include "common/Text.h"

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

  // Up to the first zero byte: an escaped U+0000 ends the name. A pipe name that is not
  // well-formed text (an encoded surrogate from a lone "\udc00" escape, which RapidJSON 1.1.0
  // accepts, or a sequence cut short) is no name.
  std::u16string name;
  try {
    name = fennor::Utf16FromUtf8OrBadConversion(member->value.GetString());
  } catch (const std::range_error&) {
    return false;
  }
  pipeName = std::move(name);
  return true;
}
