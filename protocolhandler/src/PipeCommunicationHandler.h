// The protocol handler's client end of the named pipe on which the application waits for the
// redirect URL.
#pragma once

#include <windows.h>

#include <string>

#include "common/Win32Handle.h"

class PipeCommunicationHandler {
 public:
  static constexpr int kSuccess = 0;
  static constexpr int kFailure = 10;

  // Nothing is opened yet.
  explicit PipeCommunicationHandler(const std::wstring& pipeName);
  PipeCommunicationHandler(const PipeCommunicationHandler&) = delete;
  PipeCommunicationHandler& operator=(const PipeCommunicationHandler&) = delete;

  // Up to three attempts: after ERROR_PIPE_BUSY a wait of up to 5 s for a free instance, after any
  // other error a 5 s pause, the last attempt included. A name that would leave the pipe namespace,
  // or a path that opens something other than a pipe, fails at once: no attempt can change that.
  // Every failure is reported on standard output; returns kSuccess or kFailure.
  int OpenPipe();

  // Writes the bytes before message's NUL in one WriteFile; no terminator, no framing. Returns
  // kSuccess when all of them were written; a failed or short write is reported and not retried.
  // A listener that has not taken the message a few seconds after the write began (longer for a
  // long message) is given up on: the write is cancelled and reported as timed out.
  int SendToPipe(const char* message);

  bool IsOpen() const;

 private:
  std::wstring pipePath;
  bool nameInsideNamespace;
  fennor::ScopedHandle handle;
};
