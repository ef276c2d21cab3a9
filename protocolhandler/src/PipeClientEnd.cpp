#include "PipeClientEnd.h"

namespace {

PipeWriteResult Completion(HANDLE pipe, OVERLAPPED& overlapped) {
  DWORD written = 0;
  if (!GetOverlappedResult(pipe, &overlapped, &written, FALSE)) {
    return {PipeWriteStatus::kFailed, written, GetLastError()};
  }
  return {PipeWriteStatus::kCompleted, written, 0};
}

}  // namespace

PipeOpenResult OpenPipeClientEnd(const std::wstring& path) {
  fennor::ScopedHandle handle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, kPipeClientOpenFlags, nullptr));
  if (!handle.IsValid()) return {PipeOpenStatus::kFailed, {}, GetLastError()};
  // Whatever the name looked like, only a pipe may receive the URL: an ordinary file or device that
  // a crafted path reached is closed before a single byte goes to it.
  if (GetFileType(handle.Get()) != FILE_TYPE_PIPE) return {PipeOpenStatus::kNotAPipe, {}, 0};
  return {PipeOpenStatus::kOpened, std::move(handle), 0};
}

PipeWriteResult WritePipeClientEnd(HANDLE pipe, const char* bytes, DWORD count, DWORD timeoutMs) {
  // Manual reset: the completion leaves it signalled for GetOverlappedResult to see.
  const fennor::ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event.IsValid()) return {PipeWriteStatus::kFailed, 0, GetLastError()};
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event.Get();
  if (WriteFile(pipe, bytes, count, nullptr, &overlapped)) return Completion(pipe, overlapped);
  const DWORD error = GetLastError();
  if (error != ERROR_IO_PENDING) return {PipeWriteStatus::kFailed, 0, error};

  const DWORD waited = WaitForSingleObject(event.Get(), timeoutMs);
  if (waited == WAIT_OBJECT_0) return Completion(pipe, overlapped);
  const DWORD waitError = waited == WAIT_FAILED ? GetLastError() : 0;
  // The pending write still uses bytes, overlapped and the event: wait until it has really ended.
  CancelIoEx(pipe, &overlapped);
  DWORD written = 0;
  if (GetOverlappedResult(pipe, &overlapped, &written, TRUE)) {
    // It completed before the cancellation could take hold.
    return {PipeWriteStatus::kCompleted, written, 0};
  }
  if (waitError != 0) return {PipeWriteStatus::kFailed, written, waitError};
  return {PipeWriteStatus::kTimedOut, written, 0};
}
