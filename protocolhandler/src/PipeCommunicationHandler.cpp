#include "PipeCommunicationHandler.h"

#include <cstring>
#include <iostream>
#include <utility>

#include "PipeClientEnd.h"
#include "PipeName.h"

namespace {

constexpr wchar_t kPipePrefix[] = L"\\\\.\\pipe\\";
constexpr int kOpenAttempts = 3;
constexpr DWORD kRetryWaitMs = 5000;

// Any web page can name a pipe whose listener connects and then never reads; without a bound,
// every such visit would leave a handler blocked in its write for good. A listener that does read
// takes even the longest URL a command line can carry (32,767 UTF-16 units, under 96 KiB of UTF-8)
// in milliseconds, so the bound only has to tell a slow reader from a dead one: 3 s for it to
// start, plus 1 s per 16 KiB. A reader that keeps up 16 KiB/s (a few hundred bytes every few tens
// of milliseconds) always gets the whole URL; a dead one is given up on after about 3 s for an
// ordinary redirect and about 9 s for the longest.
constexpr DWORD kWriteStartMs = 3000;
constexpr DWORD kWriteBytesPerSecond = 16 * 1024;

DWORD WriteTimeoutMs(DWORD bytes) {
  return kWriteStartMs + static_cast<DWORD>((bytes * 1000ull + kWriteBytesPerSecond - 1) /
                                            kWriteBytesPerSecond);
}

}  // namespace

PipeCommunicationHandler::PipeCommunicationHandler(const std::wstring& pipeName)
    : pipePath(kPipePrefix + pipeName),
      nameInsideNamespace(
          IsPipeNameInsideNamespace(std::u16string(pipeName.begin(), pipeName.end()))) {}

bool PipeCommunicationHandler::IsOpen() const { return handle.IsValid(); }

int PipeCommunicationHandler::OpenPipe() {
  if (!nameInsideNamespace) {
    std::cout << "Refusing a pipe name that leaves the pipe namespace" << std::endl;
    handle.Reset();
    return kFailure;
  }
  for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
    PipeOpenResult opened = OpenPipeClientEnd(pipePath);
    handle = std::move(opened.handle);
    if (opened.status == PipeOpenStatus::kOpened) return kSuccess;
    if (opened.status == PipeOpenStatus::kNotAPipe) {
      std::cout << "Refusing to write to an object that is not a pipe" << std::endl;
      return kFailure;
    }
    if (opened.error == ERROR_PIPE_BUSY) {
      // No line end: the outcome of the wait continues this line.
      std::cout << "Pipe was busy, waiting before retry";
      if (!WaitNamedPipeW(pipePath.c_str(), kRetryWaitMs)) {
        std::cout << "Waiting on pipe still failed" << std::endl;
      }
    } else {
      std::cout << "Failed to open pipe with GLE " << opened.error << std::endl;
      Sleep(kRetryWaitMs);
    }
  }
  return kFailure;
}

int PipeCommunicationHandler::SendToPipe(const char* message) {
  const DWORD expected = static_cast<DWORD>(std::strlen(message));
  const DWORD timeoutMs = WriteTimeoutMs(expected);
  const PipeWriteResult result = WritePipeClientEnd(handle.Get(), message, expected, timeoutMs);
  if (result.status == PipeWriteStatus::kFailed) {
    std::cout << "PipeCommunicationHandler::SendToPipe failed to write to pipe with GLE="
              << result.error << std::endl;
    return kFailure;
  }
  if (result.status == PipeWriteStatus::kTimedOut) {
    std::cout << "PipeCommunicationHandler::SendToPipe timed out writing to pipe after ms="
              << timeoutMs << std::endl;
    return kFailure;
  }
  if (result.written != expected) {
    std::cout << "PipeCommunicationHandler::SendToPipe failed to write full message to pipe; expected"
              << expected << "but only wrote" << result.written << std::endl;
    return kFailure;
  }
  return kSuccess;
}
