// Strict decoder for host builds: whole four-character groups of the standard alphabet, "=" only as
// the last one or two characters. Anything the Windows decoder might tolerate beyond that (missing
// padding, whitespace, trailing text) is rejected here, so host runs of the decoding tests see the
// strictest behaviour.
#include "Base64Decode.h"

#include <cstdint>

namespace {

int SextetOf(char16_t unit) {
  if (unit >= u'A' && unit <= u'Z') return unit - u'A';
  if (unit >= u'a' && unit <= u'z') return unit - u'a' + 26;
  if (unit >= u'0' && unit <= u'9') return unit - u'0' + 52;
  if (unit == u'+') return 62;
  if (unit == u'/') return 63;
  return -1;
}

}  // namespace

bool Base64Decode(const std::u16string& text, std::string& bytes) {
  const std::u16string input = text.substr(0, text.find(u'\0'));
  // The system decoder refuses empty text too; keep the two alike.
  if (input.empty() || input.size() % 4 != 0) return false;
  size_t padding = 0;
  if (input[input.size() - 1] == u'=') padding = input[input.size() - 2] == u'=' ? 2 : 1;

  std::string decoded;
  decoded.reserve(input.size() / 4 * 3);
  for (size_t group = 0; group < input.size(); group += 4) {
    const bool last = group + 4 == input.size();
    const size_t dataUnits = last ? 4 - padding : 4;
    uint32_t bits = 0;
    for (size_t i = 0; i < 4; ++i) {
      int sextet = 0;
      if (i < dataUnits) {
        sextet = SextetOf(input[group + i]);
        if (sextet < 0) return false;
      }
      bits = (bits << 6) | static_cast<uint32_t>(sextet);
    }
    decoded.push_back(static_cast<char>((bits >> 16) & 0xFF));
    if (dataUnits > 2) decoded.push_back(static_cast<char>((bits >> 8) & 0xFF));
    if (dataUnits > 3) decoded.push_back(static_cast<char>(bits & 0xFF));
  }
  bytes = std::move(decoded);
  return true;
}
