// Running orlo-protocolhandler.exe the way Windows runs a registered open command: one command line,
// the URL in double quotes, standard output and error going to files.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <thread>

struct ProgramRun {
  DWORD exitCode;
  std::string out;
  std::string err;
  double seconds;
  bool killed;  // still running at its time limit, so the harness terminated it
};

// Long enough for the slowest ordinary path (three open attempts, about 15 s).
constexpr double kRunLimitSeconds = 60;

// The handler built next to this test program.
std::wstring HandlerPath();

// Starts the command line as given and waits for it to end, at most limitSeconds: a program that is
// still running then is terminated, so that no test leaves a hung process behind.
ProgramRun RunCommandLine(const std::wstring& commandLine, double limitSeconds = kRunLimitSeconds);

// Starts it as a browser does: no standard handles at all, so whatever it writes goes nowhere.
ProgramRun RunWithoutStandardHandles(const std::wstring& commandLine);

// "<handler>" followed by a space and arguments (already quoted as the caller wants them).
ProgramRun RunHandler(const std::wstring& arguments, double limitSeconds = kRunLimitSeconds);

// "<handler>" --open-url "<url>", as the registered command spells it.
ProgramRun RunOpenUrl(const std::wstring& url, double limitSeconds = kRunLimitSeconds);

// A name no other test process uses.
std::wstring UniqueName(const wchar_t* stem);

std::wstring Widen(const std::string& utf8);
std::string Utf8(const std::wstring& text);

// A redirect URL whose state names pipeName.
std::wstring RedirectFor(const std::wstring& pipeName, const std::wstring& extraQuery = L"");

// How a listener reads its client: by default as fast as it can until the client closes its end.
struct ReadPace {
  DWORD chunk = 4096;  // bytes asked for by each read
  DWORD pauseMs = 0;   // pause after each read
  // After this many bytes the listener stops reading and either keeps the client connected, never
  // to read again, or disconnects it in the middle of whatever it is writing.
  size_t stopAfter = static_cast<size_t>(-1);
  bool disconnectAtStop = false;
};

// Listens on \\.\pipe\<name> and collects everything one client writes until it closes its end.
class PipeListener {
 public:
  // maxInstances 1 lets a test make the pipe busy; bufferSize 0 makes every write wait for a read.
  explicit PipeListener(const std::wstring& name, DWORD maxInstances = PIPE_UNLIMITED_INSTANCES,
                        DWORD bufferSize = 4096);
  ~PipeListener();
  PipeListener(const PipeListener&) = delete;
  PipeListener& operator=(const PipeListener&) = delete;

  // Accepts one client on a background thread and reads it at the given pace.
  void AcceptOneInBackground(ReadPace pace = {});
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
