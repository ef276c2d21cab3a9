// A second reference for the start-up benchmark: the trivial GUI program plus one call of the system
// Base64 decoder the handler must use. Under Wine, crypt32 imports user32, whose start-up is most of
// the handler's extra cost; this program shows that floor.
#include <windows.h>

#include <wincrypt.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  DWORD size = 0;
  return CryptStringToBinaryW(L"YQ==", 0, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr)
             ? 0
             : 1;
}
