// orlo-protocolhandler.exe as Windows starts it: a command line with the URL in double quotes,
// output captured from the GUI-subsystem process, a real listening pipe on the other end.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "PipeClientEnd.h"
#include "ProgramHarness.h"
#include "Registry.h"

namespace {

constexpr char kUsage[] = "Please specify and argument. Usage handler.exe register/open-url <value>\n";
constexpr char kInvalid[] = "Invalid argument. Usage handler.exe <arg>\n";
constexpr char kRefused[] =
    "Refusing a pipe name that leaves the pipe namespace\nUnable to open the named pipe\n";

TEST(HandlerProgram, DispatchAndUsage) {
  struct Row {
    const wchar_t* arguments;
    const char* out;
  } rows[] = {
      {L"", kUsage},
      {L"--open-url", kUsage},
      {L"--REGISTER", kUsage},
      {L"register fennortest://x", kInvalid},
      {L"open-url fennortest://x", kInvalid},
      {L"--bogus fennortest://x", kInvalid},
      {L"\"\" \"\"", kInvalid},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Utf8(row.arguments));
    const ProgramRun run = RunHandler(row.arguments);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.out, row.out);
    EXPECT_EQ(run.err, "");
  }
}

TEST(HandlerProgram, IsAGuiProgramThatRunsWithTheCallersRights) {
  const HMODULE image = LoadLibraryExW(HandlerPath().c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(image, nullptr);
  // The data-file mapping is tagged in its low bits; the headers start at the aligned base.
  const auto* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(image) & ~0xFFFFull);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);

  const HRSRC resource = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(resource, nullptr);
  const auto* text = static_cast<const char*>(LockResource(LoadResource(image, resource)));
  const std::string manifest(text, SizeofResource(image, resource));
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos) << manifest;
  FreeLibrary(image);
}

class RegisteredScheme : public ::testing::Test {
 protected:
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, (L"SOFTWARE\\Classes\\" + scheme).c_str());
  }
  std::wstring scheme = UniqueName(L"fennortest");
};

std::wstring ReadOpenCommand(const std::wstring& scheme) {
  wchar_t command[2048] = {};
  DWORD size = sizeof command - sizeof(wchar_t);
  const LSTATUS status = RegGetValueW(
      HKEY_CURRENT_USER, (L"SOFTWARE\\Classes\\" + scheme + L"\\shell\\open\\command").c_str(),
      L"", RRF_RT_REG_SZ, nullptr, command, &size);
  return status == ERROR_SUCCESS ? command : L"";
}

TEST_F(RegisteredScheme, RegisterWritesACommandThatRelaysTheUrl) {
  const ProgramRun registered = RunHandler(L"--Register " + scheme + L"://signin");
  ASSERT_EQ(registered.exitCode, 0u) << registered.err;
  EXPECT_EQ(registered.out, "");
  EXPECT_EQ(registered.err, "");
  EXPECT_TRUE(IsUrlProtocolRegistered((scheme + L"://other").c_str(), HandlerPath().c_str()));

  // Start the stored command the way the shell does, with the URL in place of %1.
  std::wstring command = ReadOpenCommand(scheme);
  const size_t placeholder = command.find(L"%1");
  ASSERT_NE(placeholder, std::wstring::npos) << Utf8(command);
  const std::wstring pipeName = UniqueName(L"fennor-registered");
  PipeListener listener(pipeName);
  listener.AcceptOneInBackground();
  const std::wstring url = RedirectFor(pipeName);
  const ProgramRun run = RunCommandLine(command.replace(placeholder, 2, url));
  EXPECT_EQ(run.exitCode, 0u) << run.out;
  EXPECT_EQ(listener.Received(), Utf8(url));
}

TEST_F(RegisteredScheme, RegisterRefusesASchemeOutsideUriSyntax) {
  const std::wstring bad = L"1" + scheme;  // a scheme begins with a letter
  const std::wstring badKey = L"SOFTWARE\\Classes\\" + bad;
  const ProgramRun run = RunHandler(L"--register " + bad + L"://signin");
  HKEY key = nullptr;
  const LSTATUS opened = RegOpenKeyExW(HKEY_CURRENT_USER, badKey.c_str(), 0, KEY_READ, &key);
  if (opened == ERROR_SUCCESS) RegCloseKey(key);
  RegDeleteTreeW(HKEY_CURRENT_USER, badKey.c_str());
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Invalid protocol uri\n");
  EXPECT_EQ(opened, ERROR_FILE_NOT_FOUND) << "the key was created";
}

TEST_F(RegisteredScheme, RegisterWithoutSchemeFails) {
  const ProgramRun run = RunHandler(L"--register " + scheme);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Invalid protocol uri\n");
  EXPECT_EQ(ReadOpenCommand(scheme), L"");
}

// The listener gets the URL's UTF-8 bytes exactly: no NUL, no line end, nothing after the state
// dropped, later arguments ignored, the command in any letter case.
TEST(HandlerProgram, RelaysTheUrlByteExact) {
  const std::wstring pipeName = UniqueName(L"fennor-signin-\u00E9\u7BA1");
  PipeListener listener(pipeName);
  listener.AcceptOneInBackground();
  const std::wstring url = RedirectFor(pipeName, L"&session_state=\u00E9\u7BA1\U0001F600&x=a%20b");
  const ProgramRun run = RunHandler(L"--OPEN-URL \"" + url + L"\" --ignored fourth");
  EXPECT_EQ(run.exitCode, 0u) << run.out;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(listener.Received(), Utf8(url));
}

TEST(HandlerProgram, DecodingFailuresAreReported) {
  struct Row {
    const char* what;
    std::wstring url;
    const char* out;
  } rows[] = {
      {"no state", L"fennortest://signin?code=1", "Unable to decode pipe name\n"},
      {"not JSON after the value",
       L"fennortest://signin?state=eyJwaXBlTmFtZSI6ImEifSB4",  // {"pipeName":"a"} x
       "Error parsing JSON: 2\nUnable to decode pipe name\n"},
      {"empty name", RedirectFor(L""), kRefused},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const ProgramRun run = RunOpenUrl(row.url);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.out, row.out);
  }
}

// One instance, held by another client: the handler waits, the listener frees the instance within
// the wait, and the second attempt gets through.
TEST(HandlerProgram, WaitsForABusyPipe) {
  const std::wstring pipeName = UniqueName(L"fennor-busy");
  PipeListener listener(pipeName, 1);
  const HANDLE other = CreateFileW(listener.path().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(ConnectNamedPipe(listener.pipe(), nullptr) ||
              GetLastError() == ERROR_PIPE_CONNECTED);

  std::thread freeInstance([&] {
    Sleep(1500);
    CloseHandle(other);
    DisconnectNamedPipe(listener.pipe());
    listener.AcceptOneInBackground();
  });
  const std::wstring url = RedirectFor(pipeName);
  const ProgramRun run = RunOpenUrl(url);
  freeInstance.join();
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.out, "Pipe was busy, waiting before retry");
  EXPECT_EQ(listener.Received(), Utf8(url));
}

// The full retry policy: three attempts, each followed by a 5 s pause.
TEST(HandlerProgram, GivesUpAfterThreeAttemptsWithoutListener) {
  const ProgramRun run = RunOpenUrl(RedirectFor(UniqueName(L"fennor-nobody")));
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.out,
            "Failed to open pipe with GLE 2\nFailed to open pipe with GLE 2\n"
            "Failed to open pipe with GLE 2\nUnable to open the named pipe\n");
  EXPECT_GE(run.seconds, 14.5);
}

// The URL is any web page's to choose. Names that the system would resolve out of \\.\pipe\ onto an
// ordinary file are refused before any attempt, and the file keeps its bytes.
TEST(HandlerProgram, HostilePipeNamesLeaveTheVictimFileUnchanged) {
  const std::string original = "precious bytes that must survive\n";
  VictimFile victim(original);
  const std::wstring& target = victim.path();  // C:\...\victim-....txt
  std::wstring forward = target;
  for (wchar_t& c : forward) {
    if (c == L'\\') c = L'/';
  }
  for (const std::wstring& name :
       {L"..\\" + target, L"../" + forward, L"..\\..\\pipe\\..\\" + target,
        L"x\\..\\..\\" + target, L".\\..\\" + target, L"... \\" + target}) {
    SCOPED_TRACE(Utf8(name));
    const ProgramRun run = RunOpenUrl(RedirectFor(name));
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.out, kRefused);
    EXPECT_LT(run.seconds, 5.0);  // refused outright, not after the retry pauses
    EXPECT_EQ(victim.Content(), original);
  }
}

// The second guard, for whatever path might still reach a file: the open itself succeeds (so the
// path really resolves to the file) and the handle is given back closed and unused.
TEST(PipeClientEnd, RefusesAnythingButAPipe) {
  const std::string original = "precious bytes\n";
  VictimFile victim(original);
  const PipeOpenResult file = OpenPipeClientEnd(L"\\\\.\\pipe\\..\\" + victim.path());
  EXPECT_EQ(file.status, PipeOpenStatus::kNotAPipe);
  EXPECT_EQ(file.handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(victim.Content(), original);

  const std::wstring pipeName = UniqueName(L"fennor-real");
  PipeListener listener(pipeName);
  listener.AcceptOneInBackground();
  const PipeOpenResult pipe = OpenPipeClientEnd(listener.path());
  ASSERT_EQ(pipe.status, PipeOpenStatus::kOpened);
  CloseHandle(pipe.handle);
  EXPECT_EQ(listener.Received(), "");
}

}  // namespace
