// Opening the client end of a named pipe, refusing anything that is not a pipe.
#pragma once

#include <windows.h>

#include <string>

enum class PipeOpenStatus {
  kOpened,    // handle is the open client end of a pipe
  kFailed,    // CreateFileW failed; error holds its GetLastError()
  kNotAPipe,  // the path opened something other than a pipe; it was closed again untouched
};

struct PipeOpenResult {
  PipeOpenStatus status;
  HANDLE handle;  // INVALID_HANDLE_VALUE unless kOpened
  DWORD error;
};

// Opens path for reading and writing, no sharing, existing only, synchronous.
PipeOpenResult OpenPipeClientEnd(const std::wstring& path);
