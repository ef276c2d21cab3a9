// How long a sign-in redirect takes to reach the waiting application: from starting
// orlo-protocolhandler.exe --open-url URL to the listener holding the whole URL, against starting a
// do-nothing GUI program of the same build and waiting for it to end. A second reference adds one
// call of the system Base64 decoder to the do-nothing program (the DLLs the handler cannot avoid).
// Rounds alternate between the three so all see the same machine state; medians and ratios are
// printed.
//
//   protocolhandler_start_bench.exe [rounds]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::wstring BesideThisProgram(const wchar_t* file) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  return path.substr(0, path.find_last_of(L"\\/") + 1) + file;
}

HANDLE Start(const std::wstring& commandLine) {
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::fprintf(stderr, "CreateProcessW failed with GLE %lu\n", GetLastError());
    std::exit(2);
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double ProgramRound(const std::wstring& trivial) {
  const auto start = Clock::now();
  const HANDLE process = Start(L"\"" + trivial + L"\"");
  WaitForSingleObject(process, INFINITE);
  const double seconds = Seconds(start);
  CloseHandle(process);
  return seconds;
}

// {"pipeName":"fennor-bench-<pid>"} in standard Base64, made once per run.
std::string StateFor(const std::string& pipeName) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::string json = "{\"pipeName\":\"" + pipeName + "\"}";
  std::string text;
  for (size_t i = 0; i < json.size(); i += 3) {
    const size_t n = std::min<size_t>(3, json.size() - i);
    unsigned bits = 0;
    for (size_t j = 0; j < 3; ++j) {
      bits = (bits << 8) | (j < n ? static_cast<unsigned char>(json[i + j]) : 0u);
    }
    for (size_t j = 0; j < 4; ++j) text.push_back(j <= n ? kAlphabet[(bits >> (18 - 6 * j)) & 63] : '=');
  }
  return text;
}

double HandlerRound(const std::wstring& handler, const std::wstring& pipePath,
                    const std::string& url) {
  const HANDLE pipe = CreateNamedPipeW(pipePath.c_str(), PIPE_ACCESS_DUPLEX,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096,
                                       4096, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "CreateNamedPipeW failed with GLE %lu\n", GetLastError());
    std::exit(2);
  }
  const std::wstring wideUrl(url.begin(), url.end());  // ASCII
  const auto start = Clock::now();
  const HANDLE process = Start(L"\"" + handler + L"\" --open-url \"" + wideUrl + L"\"");
  std::string received;
  if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr)) received.append(chunk, got);
  }
  const double seconds = Seconds(start);
  WaitForSingleObject(process, INFINITE);
  DWORD exitCode = 1;
  GetExitCodeProcess(process, &exitCode);
  CloseHandle(process);
  CloseHandle(pipe);
  if (received != url || exitCode != 0) {
    std::fprintf(stderr, "the handler did not deliver the URL (exit code %lu, %zu bytes)\n",
                 exitCode, received.size());
    std::exit(2);
  }
  return seconds;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const std::wstring handler = BesideThisProgram(L"orlo-protocolhandler.exe");
  const std::wstring trivial = BesideThisProgram(L"protocolhandler_bench_gui_program.exe");
  const std::wstring withDecoder = BesideThisProgram(L"protocolhandler_bench_crypt32_program.exe");
  const std::string pipeName = "fennor-bench-" + std::to_string(GetCurrentProcessId());
  const std::wstring pipePath = L"\\\\.\\pipe\\" + std::wstring(pipeName.begin(), pipeName.end());
  const std::string url = "fennorbench://signin?code=0123456789abcdef&state=" + StateFor(pipeName);

  // One unmeasured round of each: the first start of a program pays for loading it from disk.
  ProgramRound(trivial);
  ProgramRound(withDecoder);
  HandlerRound(handler, pipePath, url);

  std::vector<double> baseline, decoderFloor, relay;
  for (int i = 0; i < rounds; ++i) {
    baseline.push_back(ProgramRound(trivial));
    relay.push_back(HandlerRound(handler, pipePath, url));
    decoderFloor.push_back(ProgramRound(withDecoder));
  }
  const double base = Median(baseline);
  const double floor = Median(decoderFloor);
  const double handlerMedian = Median(relay);
  std::printf("rounds: %d each, alternating\n", rounds);
  std::printf("trivial GUI program, start to exit:                median %.1f ms\n", base * 1000);
  std::printf("trivial GUI program + CryptStringToBinaryW, to exit: median %.1f ms\n",
              floor * 1000);
  std::printf("handler, start to URL at the listener:             median %.1f ms\n",
              handlerMedian * 1000);
  std::printf("ratio handler/trivial:           %.3f (limit 1.25)\n", handlerMedian / base);
  std::printf("ratio handler/trivial+decoder:   %.3f\n", handlerMedian / floor);
  // One line per comparison for tools/bench: name|figure|baseline|ratio|target|holds.
  std::printf("BENCH|handler start-up vs trivial GUI program|%.1f ms|%.1f ms|%.3f|<= 1.25|%s\n",
              handlerMedian * 1000, base * 1000, handlerMedian / base,
              handlerMedian / base <= 1.25 ? "yes" : "no");
  std::printf("BENCH|handler start-up vs trivial program + decoder|%.1f ms|%.1f ms|%.3f|<= 1.25|%s\n",
              handlerMedian * 1000, floor * 1000, handlerMedian / floor,
              handlerMedian / floor <= 1.25 ? "yes" : "no");
  return 0;
}
