#include "ProgramHarness.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <vector>

#include "Base64Encode.h"

namespace {

std::wstring TempDirectory() {
  wchar_t buffer[MAX_PATH + 1] = {};
  if (GetTempPathW(MAX_PATH + 1, buffer) == 0) throw std::runtime_error("GetTempPathW failed");
  return buffer;
}

std::string ReadFileBytes(const std::wstring& path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateFileW (read) failed");
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

HANDLE CreateInheritableFile(const std::wstring& path) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateFileW (output) failed");
  return file;
}

// Every program a test starts runs in this job, which ends them all when its last handle closes: if
// the test program itself is killed (a ctest time-out), nothing it started lives on.
HANDLE ChildJob() {
  static const HANDLE job = [] {
    const HANDLE created = CreateJobObjectW(nullptr, nullptr);
    if (created == nullptr) throw std::runtime_error("CreateJobObjectW failed");
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
      throw std::runtime_error("SetInformationJobObject failed");
    }
    return created;
  }();
  return job;
}

}  // namespace

std::wstring HandlerPath() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"orlo-protocolhandler.exe";
}

std::wstring UniqueName(const wchar_t* stem) {
  static std::atomic<int> counter{0};
  return std::wstring(stem) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(++counter);
}

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                    nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                      nullptr, nullptr);
  return bytes;
}

std::wstring RedirectFor(const std::wstring& pipeName, const std::wstring& extraQuery) {
  std::string escaped;  // a JSON string body
  for (char c : Utf8(pipeName)) {
    if (c == '\\' || c == '"') escaped.push_back('\\');
    escaped.push_back(c);
  }
  const std::string state = Base64Encode("{\"pipeName\":\"" + escaped + "\"}");
  return L"fennortest://signin?code=AbC123&state=" + Widen(state) + extraQuery;
}

namespace {

ProgramRun Run(const std::wstring& commandLine, double limitSeconds, bool standardHandles) {
  const std::wstring stem = TempDirectory() + UniqueName(L"handler-run");
  const std::wstring outPath = stem + L".out";
  const std::wstring errPath = stem + L".err";
  const HANDLE out = standardHandles ? CreateInheritableFile(outPath) : nullptr;
  const HANDLE err = standardHandles ? CreateInheritableFile(errPath) : nullptr;

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process = {};
  std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
  mutableLine.push_back(L'\0');

  const auto start = std::chrono::steady_clock::now();
  const BOOL started =
      CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, standardHandles,
                     CREATE_SUSPENDED, nullptr, nullptr, &startup, &process);
  const DWORD startError = GetLastError();
  if (out != nullptr) CloseHandle(out);
  if (err != nullptr) CloseHandle(err);
  if (!started) throw std::runtime_error("CreateProcessW failed: " + std::to_string(startError));
  if (!AssignProcessToJobObject(ChildJob(), process.hProcess)) {
    TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    throw std::runtime_error("AssignProcessToJobObject failed: " + std::to_string(GetLastError()));
  }
  ResumeThread(process.hThread);
  bool killed = false;
  if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(limitSeconds * 1000)) !=
      WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
    killed = true;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  ProgramRun run{exitCode, "", "", seconds, killed};
  if (standardHandles) {
    // The bytes as written: a line ends in a bare line feed, never in CR LF.
    run.out = ReadFileBytes(outPath);
    run.err = ReadFileBytes(errPath);
    DeleteFileW(outPath.c_str());
    DeleteFileW(errPath.c_str());
  }
  return run;
}

}  // namespace

ProgramRun RunCommandLine(const std::wstring& commandLine, double limitSeconds) {
  return Run(commandLine, limitSeconds, true);
}

ProgramRun RunWithoutStandardHandles(const std::wstring& commandLine) {
  return Run(commandLine, kRunLimitSeconds, false);
}

ProgramRun RunHandler(const std::wstring& arguments, double limitSeconds) {
  return RunCommandLine(L"\"" + HandlerPath() + L"\" " + arguments, limitSeconds);
}

ProgramRun RunOpenUrl(const std::wstring& url, double limitSeconds) {
  return RunHandler(L"--open-url \"" + url + L"\"", limitSeconds);
}

PipeListener::PipeListener(const std::wstring& name, DWORD maxInstances, DWORD bufferSize)
    : path_(L"\\\\.\\pipe\\" + name),
      pipe_(CreateNamedPipeW(path_.c_str(), PIPE_ACCESS_DUPLEX,
                             PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, maxInstances,
                             bufferSize, bufferSize, 0, nullptr)) {
  if (pipe_ == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateNamedPipeW failed");
}

PipeListener::~PipeListener() {
  if (reader_.joinable()) {
    // A reader still waiting for its client gets one that closes at once.
    const HANDLE client = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                      nullptr);
    if (client != INVALID_HANDLE_VALUE) CloseHandle(client);
    reader_.join();
  }
  CloseHandle(pipe_);
}

void PipeListener::AcceptOneInBackground(ReadPace pace) {
  reader_ = std::thread([this, pace] {
    if (!ConnectNamedPipe(pipe_, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return;
    std::vector<char> chunk(pace.chunk);
    DWORD got = 0;
    while (received_.size() < pace.stopAfter) {
      const size_t wanted = std::min<size_t>(chunk.size(), pace.stopAfter - received_.size());
      if (!ReadFile(pipe_, chunk.data(), static_cast<DWORD>(wanted), &got, nullptr)) break;
      received_.append(chunk.data(), got);
      if (pace.pauseMs != 0) Sleep(pace.pauseMs);
    }
    // A listener that stopped early keeps its client connected until the test ends, unless told to
    // drop it now.
    if (received_.size() < pace.stopAfter || pace.disconnectAtStop) DisconnectNamedPipe(pipe_);
  });
}

std::string PipeListener::Received() {
  if (reader_.joinable()) reader_.join();
  return received_;
}

VictimFile::VictimFile(const std::string& content)
    : path_(TempDirectory() + UniqueName(L"victim") + L".txt") {
  const HANDLE file =
      CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateFileW (victim) failed");
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
}

VictimFile::~VictimFile() { DeleteFileW(path_.c_str()); }

std::string VictimFile::Content() const { return ReadFileBytes(path_); }
