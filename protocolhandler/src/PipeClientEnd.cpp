#include "PipeClientEnd.h"

PipeOpenResult OpenPipeClientEnd(const std::wstring& path) {
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return {PipeOpenStatus::kFailed, INVALID_HANDLE_VALUE, GetLastError()};
  }
  // Whatever the name looked like, only a pipe may receive the URL: an ordinary file or device that
  // a crafted path reached is closed before a single byte goes to it.
  if (GetFileType(handle) != FILE_TYPE_PIPE) {
    CloseHandle(handle);
    return {PipeOpenStatus::kNotAPipe, INVALID_HANDLE_VALUE, 0};
  }
  return {PipeOpenStatus::kOpened, handle, 0};
}
