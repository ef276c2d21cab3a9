// Running orlo-protocolhandler.exe the way Windows runs a registered open command: one command line,
// the URL in double quotes, standard output and error going to files.
#pragma once

#include <windows.h>

#include <string>
#include <thread>

struct ProgramRun {
  DWORD exitCode;
  std::string out;
  std::string err;
  double seconds;
};

// The handler built next to this test program.
std::wstring HandlerPath();

// Starts the command line as given and waits for it to end.
ProgramRun RunCommandLine(const std::wstring& commandLine);

// "<handler>" followed by a space and arguments (already quoted as the caller wants them).
ProgramRun RunHandler(const std::wstring& arguments);

// "<handler>" --open-url "<url>", as the registered command spells it.
ProgramRun RunOpenUrl(const std::wstring& url);

// A name no other test process uses.
std::wstring UniqueName(const wchar_t* stem);

std::wstring Widen(const std::string& utf8);
std::string Utf8(const std::wstring& text);

// A redirect URL whose state names pipeName.
std::wstring RedirectFor(const std::wstring& pipeName, const std::wstring& extraQuery = L"");

// Listens on \\.\pipe\<name> and collects everything one client writes until it closes its end.
class PipeListener {
 public:
  // maxInstances 1 lets a test make the pipe busy.
  explicit PipeListener(const std::wstring& name, DWORD maxInstances = PIPE_UNLIMITED_INSTANCES);
  ~PipeListener();
  PipeListener(const PipeListener&) = delete;
  PipeListener& operator=(const PipeListener&) = delete;

  // Accepts one client on a background thread and reads until it disconnects.
  void AcceptOneInBackground();
  // Waits for that client's bytes.
  std::string Received();

  HANDLE pipe() const { return pipe_; }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  HANDLE pipe_;
  std::thread reader_;
  std::string received_;
};

// A file whose bytes the test checks afterwards; removed on destruction.
class VictimFile {
 public:
  explicit VictimFile(const std::string& content);
  ~VictimFile();
  const std::wstring& path() const { return path_; }
  std::string Content() const;

 private:
  std::wstring path_;
};
