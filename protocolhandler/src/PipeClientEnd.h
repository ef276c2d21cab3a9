// The client end of a named pipe: opening it, refusing anything that is not a pipe, and one write
// that gives up on a listener that stops reading.
#pragma once

#include <windows.h>

#include <string>

#include "common/Win32Handle.h"

// Overlapped, so that a write that the listener never takes can be given up on. Identification
// level: the server of whatever pipe a URL names may learn who the user is, but cannot act as the
// user, as the default level (full impersonation) would let it.
constexpr DWORD kPipeClientOpenFlags =
    FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

enum class PipeOpenStatus {
  kOpened,    // handle is the open client end of a pipe
  kFailed,    // CreateFileW failed; error holds its GetLastError()
  kNotAPipe,  // the path opened something other than a pipe; it was closed again untouched
};

struct PipeOpenResult {
  PipeOpenStatus status;
  fennor::ScopedHandle handle;  // holds nothing unless kOpened
  DWORD error;
};

// Opens path for reading and writing, no sharing, existing only, with kPipeClientOpenFlags.
PipeOpenResult OpenPipeClientEnd(const std::wstring& path);

enum class PipeWriteStatus {
  kCompleted,  // the write ended; written says how many bytes it took
  kFailed,     // error holds the failed call's GetLastError()
  kTimedOut,   // the listener had not taken the bytes in time; the write was cancelled
};

struct PipeWriteResult {
  PipeWriteStatus status;
  DWORD written;
  DWORD error;
};

// Writes count bytes in one WriteFile on a handle from OpenPipeClientEnd and waits at most
// timeoutMs for it to end. A write still pending then is cancelled, and the call returns only once
// the cancellation has finished, so that bytes and handle may go as soon as it returns.
PipeWriteResult WritePipeClientEnd(HANDLE pipe, const char* bytes, DWORD count, DWORD timeoutMs);
