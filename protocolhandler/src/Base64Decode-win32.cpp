#include "Base64Decode.h"

#include <windows.h>

#include <wincrypt.h>

bool Base64Decode(const std::u16string& text, std::string& bytes) {
  const std::wstring wide(text.begin(), text.end());
  DWORD size = 0;
  // Length 0: the text is NUL-terminated. The first call only measures.
  if (!CryptStringToBinaryW(wide.c_str(), 0, CRYPT_STRING_BASE64, nullptr, &size, nullptr,
                            nullptr)) {
    return false;
  }
  bytes.assign(size, '\0');
  return CryptStringToBinaryW(wide.c_str(), 0, CRYPT_STRING_BASE64,
                              reinterpret_cast<BYTE*>(bytes.data()), &size, nullptr,
                              nullptr) != FALSE;
}
