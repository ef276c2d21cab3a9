// The handler's one write against listeners that read fast, slowly, partly or not at all. Any
// web page can name any pipe, so a listener that stops reading must cost the handler a bounded
// time, not a hung process; and the longest URL a command line can carry must still arrive whole
// at a listener that does read, however slowly.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ProgramHarness.h"

namespace {

constexpr char kTimedOut[] =
    "PipeCommunicationHandler::SendToPipe timed out writing to pipe after ms=";
constexpr char kWriteFailed[] =
    "PipeCommunicationHandler::SendToPipe failed to write to pipe with GLE=";

// Killed by the harness if still running then: on a handler whose write never ends, the test fails
// instead of hanging.
constexpr double kDeadListenerRunLimitSeconds = 30;
// A dead listener is given up on within a few seconds, and the handler exits soon after.
constexpr DWORD kLongestAcceptableWaitMs = 10000;
constexpr double kExitSlackSeconds = 5;

// The redirect URL padded with filler to length units.
std::wstring PaddedRedirect(const std::wstring& pipeName, size_t length,
                            const std::wstring& filler) {
  std::wstring url = RedirectFor(pipeName, L"&pad=");
  while (url.size() + filler.size() <= length) url += filler;
  while (url.size() < length) url += L'a';
  return url;
}

// As long as a URL can be when the registered command carries it: the whole command line, its NUL
// included, is at most 32,767 UTF-16 units. Nearly all of it is three-byte UTF-8, with two-byte and
// four-byte sequences in between, so the message is about 96 KiB.
std::wstring LongestRedirect(const std::wstring& pipeName) {
  const size_t commandLineAround = (L"\"" + HandlerPath() + L"\" --open-url \"\"").size();
  return PaddedRedirect(pipeName, 32767 - 1 - commandLineAround,
                        L"\u00E9" + std::wstring(40, L'\u7BA1') + L"\U0001F600");
}

// The number at the end of a timed-out line, or -1 when the line is not one.
long TimedOutAfterMs(const std::string& out) {
  const std::string prefix = kTimedOut;
  if (out.compare(0, prefix.size(), prefix) != 0 || out.empty() || out.back() != '\n') return -1;
  const std::string digits = out.substr(prefix.size(), out.size() - prefix.size() - 1);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stol(digits);
}

struct StalledListener {
  const char* what;
  DWORD bufferSize;
  ReadPace pace;
  bool timesOut;  // otherwise the write fails at once
};

ReadPace StopAfter(size_t bytes, bool disconnect) {
  ReadPace pace;
  pace.chunk = 1000;
  pace.stopAfter = bytes;
  pace.disconnectAtStop = disconnect;
  return pace;
}

// 30,000 characters, as in the hang first seen. The runs go side by side, each against its own
// listener, so that the table costs one wait rather than one per row.
TEST(PipeWrite, AListenerThatStopsReadingIsGivenUpOnInBoundedTime) {
  const StalledListener rows[] = {
      {"0-byte buffers, never reads", 0, StopAfter(0, false), true},
      {"full 4 KiB buffers, never reads", 4096, StopAfter(0, false), true},
      {"reads one byte and stops", 0, StopAfter(1, false), true},
      {"reads 1000 bytes and disconnects in the middle of the write", 0, StopAfter(1000, true),
       false},
  };
  constexpr size_t kRows = sizeof rows / sizeof rows[0];
  std::vector<std::unique_ptr<PipeListener>> listeners;
  std::vector<std::wstring> urls;
  for (const StalledListener& row : rows) {
    const std::wstring pipeName = UniqueName(L"fennor-stalled");
    listeners.push_back(
        std::make_unique<PipeListener>(pipeName, PIPE_UNLIMITED_INSTANCES, row.bufferSize));
    listeners.back()->AcceptOneInBackground(row.pace);
    urls.push_back(PaddedRedirect(pipeName, 30000, L"x"));
  }
  std::vector<ProgramRun> runs(kRows);
  std::vector<std::thread> handlers;
  for (size_t i = 0; i < kRows; ++i) {
    handlers.emplace_back(
        [&, i] { runs[i] = RunOpenUrl(urls[i], kDeadListenerRunLimitSeconds); });
  }
  for (std::thread& handler : handlers) handler.join();

  for (size_t i = 0; i < kRows; ++i) {
    const StalledListener& row = rows[i];
    const ProgramRun& run = runs[i];
    SCOPED_TRACE(row.what);
    EXPECT_FALSE(run.killed) << "still writing after " << run.seconds << " s";
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.err, "");
    if (row.timesOut) {
      // The line names the wait; the run took that long and little more.
      const long waitedMs = TimedOutAfterMs(run.out);
      EXPECT_GT(waitedMs, 0) << run.out;
      if (waitedMs > 0) {
        EXPECT_LE(waitedMs, static_cast<long>(kLongestAcceptableWaitMs));
        EXPECT_GE(run.seconds, waitedMs / 1000.0);
        EXPECT_LT(run.seconds, waitedMs / 1000.0 + kExitSlackSeconds);
      }
    } else {
      EXPECT_EQ(run.out.compare(0, sizeof kWriteFailed - 1, kWriteFailed), 0) << run.out;
      EXPECT_LT(run.seconds, kExitSlackSeconds);
    }
    // What the listener did take is the start of the URL, nothing else.
    const std::string sent = Utf8(urls[i]);
    const std::string received = listeners[i]->Received();
    EXPECT_EQ(received, sent.substr(0, row.pace.stopAfter));
    // The handler is gone, and with it its end of the pipe.
    if (!row.pace.disconnectAtStop) {
      EXPECT_FALSE(PeekNamedPipe(listeners[i]->pipe(), nullptr, 0, nullptr, nullptr, nullptr));
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
    }
  }
}

TEST(PipeWrite, TheLongestUrlArrivesWholeAtAFastAndAtASlowReader) {
  struct Reader {
    const char* what;
    DWORD bufferSize;
    DWORD chunk;
    DWORD pauseMs;
  } rows[] = {
      {"reads as fast as it can", 4096, 4096, 0},
      // About 25 KB/s, so the longest URL takes about four seconds; with 0-byte buffers the write
      // can only end once the reader has taken nearly all of it.
      {"reads 256 bytes every 10 ms", 0, 256, 10},
  };
  for (const Reader& row : rows) {
    SCOPED_TRACE(row.what);
    const std::wstring pipeName = UniqueName(L"fennor-reader");
    PipeListener listener(pipeName, PIPE_UNLIMITED_INSTANCES, row.bufferSize);
    ReadPace pace;
    pace.chunk = row.chunk;
    pace.pauseMs = row.pauseMs;
    listener.AcceptOneInBackground(pace);
    const std::wstring url = LongestRedirect(pipeName);
    const ProgramRun run = RunOpenUrl(url);
    EXPECT_FALSE(run.killed);
    EXPECT_EQ(run.exitCode, 0u) << run.out;
    EXPECT_EQ(run.out, "");
    const std::string sent = Utf8(url);
    const std::string received = listener.Received();
    EXPECT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent) << "the bytes differ";
  }
}

}  // namespace
