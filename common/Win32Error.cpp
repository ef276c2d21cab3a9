#include "common/Win32Error.h"

namespace fennor {
namespace {

// Frees a FormatMessageA buffer even if copying it out throws.
struct LocalBuffer {
  char* text = nullptr;
  ~LocalBuffer() {
    if (text != nullptr) LocalFree(text);
  }
};

}  // namespace

std::string SystemText(DWORD code) {
  LocalBuffer buffer;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<LPSTR>(&buffer.text), 0, nullptr);
  if (length == 0 || buffer.text == nullptr) return std::string();
  return std::string(buffer.text, length);
}

std::string CallFailed(std::string_view call, DWORD code) {
  std::string text = SystemText(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) text = "error " + std::to_string(code);
  return std::string(call) + " failed: " + text;
}

}  // namespace fennor
