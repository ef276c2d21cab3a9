#include "Base64Encode.h"

std::string Base64Encode(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
    unsigned bits = 0;
    for (size_t j = 0; j < 3; ++j) {
      bits = (bits << 8) | (j < n ? static_cast<unsigned char>(bytes[i + j]) : 0u);
    }
    for (size_t j = 0; j < 4; ++j) {
      text.push_back(j <= n ? kAlphabet[(bits >> (18 - 6 * j)) & 0x3F] : '=');
    }
  }
  return text;
}
