// orlo-protocolhandler.exe as Windows starts it: a command line with the URL in double quotes,
// output captured from the GUI-subsystem process, a real listening pipe on the other end.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cwctype>
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
      {L"--unregister", kUsage},
      {L"register fennortest://x", kInvalid},
      {L"open-url fennortest://x", kInvalid},
      {L"unregister fennortest://x", kInvalid},
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

constexpr char kOtherProgram[] = "Protocol is registered for another program\n";

std::wstring ClassesKey(const std::wstring& scheme) { return L"SOFTWARE\\Classes\\" + scheme; }

// Creates root\path (and any key on the way) and, with a name, writes a value of any type there.
void WriteRegistry(const std::wstring& path, const wchar_t* name, DWORD type = REG_SZ,
                   const std::wstring& text = L"") {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  if (name != nullptr) {
    DWORD dword = 2;
    const bool isDword = type == REG_DWORD;
    EXPECT_EQ(RegSetValueExW(key, name, 0, type,
                             isDword ? reinterpret_cast<const BYTE*>(&dword)
                                     : reinterpret_cast<const BYTE*>(text.c_str()),
                             isDword ? sizeof dword
                                     : static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  RegCloseKey(key);
}

// Every key, value name, type and data byte below HKCU\path, with paths relative to it, in sorted
// order: two snapshots are equal exactly when the trees hold the same. "(none)" when there is no
// such key.
std::string Snapshot(const std::wstring& path, const std::wstring& relative = L"") {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return "(none)";
  }
  std::vector<std::string> values;
  std::vector<std::wstring> subkeys;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    BYTE data[2048];
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) {
      break;
    }
    std::string line = "  " + Utf8(name) + " type " + std::to_string(type) + ":";
    for (DWORD b = 0; b < size; ++b) line += " " + std::to_string(data[b]);
    values.push_back(line);
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    subkeys.push_back(name);
  }
  RegCloseKey(key);
  std::sort(values.begin(), values.end());
  std::sort(subkeys.begin(), subkeys.end());
  std::string text = "[" + Utf8(relative) + "]\n";
  for (const std::string& value : values) text += value + "\n";
  for (const std::wstring& subkey : subkeys) {
    text += Snapshot(path + L"\\" + subkey, relative + L"\\" + subkey);
  }
  return text;
}

TEST_F(RegisteredScheme, UnregisterRemovesItsOwnRegistrationAndRegisterWorksAgain) {
  ASSERT_EQ(RunHandler(L"--register " + scheme + L"://signin").exitCode, 0u);

  // Any URI of the scheme, the command in any letter case.
  const ProgramRun run = RunHandler(L"--UnRegister " + scheme + L"://other/path?x=1");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Snapshot(ClassesKey(scheme)), "(none)");

  const ProgramRun again = RunHandler(L"--register " + scheme + L"://signin");
  EXPECT_EQ(again.exitCode, 0u) << again.err;
  EXPECT_TRUE(IsUrlProtocolRegistered((scheme + L"://signin").c_str(), HandlerPath().c_str()));
}

// Nothing that starts a program: nothing to remove, success, and whatever is there stays.
TEST_F(RegisteredScheme, UnregisterWithoutAnOpenCommandChangesNothing) {
  const std::wstring key = ClassesKey(scheme);
  const struct Row {
    const char* what;
    void (*setUp)(const std::wstring& key);
  } rows[] = {
      {"no key", [](const std::wstring&) {}},
      {"no shell key",
       [](const std::wstring& key) { WriteRegistry(key, L"URL Protocol"); }},
      {"a command key without a default value",
       [](const std::wstring& key) {
         WriteRegistry(key, L"URL Protocol");
         WriteRegistry(key + L"\\shell\\open\\command", nullptr);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    row.setUp(key);
    const std::string before = Snapshot(key);
    const ProgramRun run = RunHandler(L"--unregister " + scheme + L"://signin");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Snapshot(key), before);
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
  }
}

// Ours is the command --register writes for this program, in any letter case, with anything after
// it; every other command belongs to another program and is left as it is, with the rest of the
// registration.
TEST_F(RegisteredScheme, UnregisterRemovesOnlyACommandThatStartsThisHandler) {
  const std::wstring self = L"\"" + HandlerPath() + L"\"";
  std::wstring upper = self;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
  std::wstring lower = self;
  for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
  const std::wstring folder = HandlerPath().substr(0, HandlerPath().find_last_of(L'\\') + 1);
  const struct Row {
    const char* what;
    std::wstring command;
    DWORD type;
    bool ours;
  } rows[] = {
      {"as registered", self + L" --open-url \"%1\"", REG_SZ, true},
      {"path in upper case", upper + L" --open-url \"%1\"", REG_SZ, true},
      {"path and option in lower case", lower + L" --open-url \"%1\"", REG_SZ, true},
      {"option in upper case", self + L" --OPEN-URL \"%1\"", REG_SZ, true},
      {"more after the command", self + L" --open-url \"%1\" --verbose", REG_SZ, true},
      {"another program", L"\"C:\\Apps\\other.exe\" --open-url \"%1\"", REG_SZ, false},
      {"a program beside this one",
       L"\"" + folder + L"orlo-protocolhandler-old.exe\" --open-url \"%1\"", REG_SZ, false},
      {"this path unquoted", HandlerPath() + L" --open-url \"%1\"", REG_SZ, false},
      {"this program with another option", self + L" --register \"%1\"", REG_SZ, false},
      {"shorter than the command", self + L" --open-url", REG_SZ, false},
      {"empty", L"", REG_SZ, false},
      {"our command as REG_EXPAND_SZ", self + L" --open-url \"%1\"", REG_EXPAND_SZ, false},
  };
  const std::wstring key = ClassesKey(scheme);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_TRUE(RegisterUrlProtocol((scheme + L"://signin").c_str(), HandlerPath().c_str()));
    WriteRegistry(key + L"\\shell\\open\\command", L"", row.type, row.command);
    const std::string before = Snapshot(key);

    const ProgramRun run = RunHandler(L"--unregister " + scheme + L"://signin");
    EXPECT_EQ(run.out, "");
    if (row.ours) {
      EXPECT_EQ(run.exitCode, 0u) << run.err;
      EXPECT_EQ(run.err, "");
      EXPECT_EQ(Snapshot(key), "(none)");
    } else {
      EXPECT_EQ(run.exitCode, 1u);
      EXPECT_EQ(run.err, kOtherProgram);
      EXPECT_EQ(Snapshot(key), before);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
  }
}

// What another program keeps in the scheme's keys survives, and so do the keys that hold it: after
// unregistering, the tree is what it would be had only that program written there.
TEST_F(RegisteredScheme, UnregisterLeavesWhatOthersWroteInTheSchemeKeys) {
  const std::wstring other = UniqueName(L"fennortest");
  const struct Row {
    const char* what;
    const wchar_t* below;  // relative to the scheme key
    const wchar_t* name;   // null: the key alone
    DWORD type;
    const wchar_t* text;
  } rows[] = {
      {"a value beside ours", L"", L"EditFlags", REG_DWORD, L""},
      {"a subkey of the scheme", L"\\DefaultIcon", L"", REG_SZ, L"C:\\Apps\\icon.ico"},
      {"a default verb", L"\\shell", L"", REG_SZ, L"open"},
      {"another verb", L"\\shell\\print\\command", L"", REG_SZ, L"\"C:\\Apps\\p.exe\" \"%1\""},
      {"a value of the open verb", L"\\shell\\open", L"MUIVerb", REG_SZ, L"Open with Fennor"},
      {"an empty key below the open verb", L"\\shell\\open\\ddeexec", nullptr, REG_SZ, L""},
      {"a value beside our command", L"\\shell\\open\\command", L"DelegateExecute", REG_SZ,
       L"{00000000-0000-0000-0000-000000000000}"},
  };
  const std::wstring key = ClassesKey(scheme);
  const std::wstring expectedKey = ClassesKey(other);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(RunHandler(L"--register " + scheme + L"://signin").exitCode, 0u);
    WriteRegistry(key + row.below, row.name, row.type, row.text);
    WriteRegistry(expectedKey + row.below, row.name, row.type, row.text);

    const ProgramRun run = RunHandler(L"--unregister " + scheme + L"://signin");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Snapshot(key), Snapshot(expectedKey));
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, expectedKey.c_str());
  }
}

// The scheme syntax of --register: a refused URI touches nothing, not even a key that holds this
// handler's own command under that name.
TEST_F(RegisteredScheme, UnregisterRefusesWhatRegisterRefuses) {
  const std::wstring command = L"\"" + HandlerPath() + L"\" --open-url \"%1\"";
  for (const std::wstring& name : {L"1" + scheme, scheme + L"%62", scheme + L"\\shell"}) {
    SCOPED_TRACE(Utf8(name));
    const std::wstring key = ClassesKey(name);
    WriteRegistry(key, L"URL Protocol");
    WriteRegistry(key + L"\\shell\\open\\command", L"", REG_SZ, command);
    const std::string before = Snapshot(key);
    const ProgramRun run = RunHandler(L"--unregister " + name + L"://signin");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Invalid protocol uri\n");
    EXPECT_EQ(Snapshot(key), before);
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
  }
  const ProgramRun run = RunHandler(L"--unregister " + scheme);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.err, "Invalid protocol uri\n");
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

// Started as a browser starts it, with no standard handles: setting up the streams must not fail,
// and the program does its work and gives its exit code all the same.
TEST(HandlerProgram, RunsWithoutStandardHandles) {
  const std::wstring pipeName = UniqueName(L"fennor-no-handles");
  PipeListener listener(pipeName);
  listener.AcceptOneInBackground();
  const std::wstring url = RedirectFor(pipeName);
  const std::wstring handler = L"\"" + HandlerPath() + L"\" ";
  EXPECT_EQ(RunWithoutStandardHandles(handler + L"--open-url \"" + url + L"\"").exitCode, 0u);
  EXPECT_EQ(listener.Received(), Utf8(url));
  EXPECT_EQ(RunWithoutStandardHandles(handler + L"--open-url fennortest://no-state").exitCode, 1u);
  EXPECT_EQ(RunWithoutStandardHandles(handler + L"--register no-scheme").exitCode, 1u);
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
  EXPECT_FALSE(file.handle.IsValid());
  EXPECT_EQ(victim.Content(), original);

  const std::wstring pipeName = UniqueName(L"fennor-real");
  PipeListener listener(pipeName);
  listener.AcceptOneInBackground();
  PipeOpenResult pipe = OpenPipeClientEnd(listener.path());
  ASSERT_EQ(pipe.status, PipeOpenStatus::kOpened);
  pipe.handle.Reset();
  EXPECT_EQ(listener.Received(), "");
}

// The server of whatever pipe a URL names may learn who the user is, but must not be able to act as
// the user: the open asks for identification level, where the default is full impersonation. Wine
// grants its pipe servers impersonation whatever a client asks for, so the effect cannot be seen
// here; what the open asks for can.
TEST(PipeClientEnd, AsksThePipeServerForIdentificationOnly) {
  constexpr DWORD kImpersonationLevelBits = SECURITY_DELEGATION;  // the highest of the four levels
  EXPECT_EQ(kPipeClientOpenFlags & SECURITY_SQOS_PRESENT,
            static_cast<DWORD>(SECURITY_SQOS_PRESENT));
  EXPECT_EQ(kPipeClientOpenFlags & kImpersonationLevelBits,
            static_cast<DWORD>(SECURITY_IDENTIFICATION));
  EXPECT_EQ(kPipeClientOpenFlags & SECURITY_CONTEXT_TRACKING, 0u);
  EXPECT_EQ(kPipeClientOpenFlags & FILE_FLAG_OVERLAPPED, static_cast<DWORD>(FILE_FLAG_OVERLAPPED));
}

}  // namespace
