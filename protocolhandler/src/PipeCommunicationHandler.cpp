#include "PipeCommunicationHandler.h"

#include <cstring>
#include <iostream>

#include "PipeClientEnd.h"
#include "PipeName.h"

namespace {

constexpr wchar_t kPipePrefix[] = L"\\\\.\\pipe\\";
constexpr int kOpenAttempts = 3;
constexpr DWORD kRetryWaitMs = 5000;

}  // namespace

PipeCommunicationHandler::PipeCommunicationHandler(const std::wstring& pipeName)
    : pipePath(kPipePrefix + pipeName),
      nameInsideNamespace(
          IsPipeNameInsideNamespace(std::u16string(pipeName.begin(), pipeName.end()))) {}

PipeCommunicationHandler::~PipeCommunicationHandler() {
  if (IsOpen()) CloseHandle(handle);
}

bool PipeCommunicationHandler::IsOpen() const {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

int PipeCommunicationHandler::OpenPipe() {
  if (!nameInsideNamespace) {
    std::cout << "Refusing a pipe name that leaves the pipe namespace" << std::endl;
    handle = INVALID_HANDLE_VALUE;
    return kFailure;
  }
  for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
    const PipeOpenResult opened = OpenPipeClientEnd(pipePath);
    handle = opened.handle;
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
  DWORD written = 0;
  if (!WriteFile(handle, message, expected, &written, nullptr)) {
    const DWORD error = GetLastError();
    std::cout << "PipeCommunicationHandler::SendToPipe failed to write to pipe with GLE=" << error
              << std::endl;
    return kFailure;
  }
  if (written != expected) {
    std::cout << "PipeCommunicationHandler::SendToPipe failed to write full message to pipe; expected"
              << expected << "but only wrote" << written << std::endl;
    return kFailure;
  }
  return kSuccess;
}
