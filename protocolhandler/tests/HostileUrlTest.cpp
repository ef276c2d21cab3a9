// Hostile redirect URLs against the built program, started the way the registered open command
// starts it ("<exe>" --open-url "<url>"). Any web page can make the browser open a URL of the scheme,
// so every row must end in exit code 1 with exactly the lines of its failure path, quickly (no pipe
// attempt is spent on a URL that names no usable pipe) and without touching a file.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <map>
#include <string>
#include <vector>

#include "Base64Encode.h"
#include "ProgramHarness.h"

namespace {

constexpr char kNoPipeName[] = "Unable to decode pipe name\n";

std::wstring Ascii(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring WithState(const std::string& json) {
  return L"fennortest://signin?code=c&state=" + Ascii(Base64Encode(json));
}

std::wstring Repeat(const std::wstring& unit, size_t times) {
  std::wstring text;
  text.reserve(unit.size() * times);
  for (size_t i = 0; i < times; ++i) text += unit;
  return text;
}

std::string Repeat(const std::string& unit, size_t times) {
  std::string text;
  for (size_t i = 0; i < times; ++i) text += unit;
  return text;
}

// Every code unit a command line can carry inside double quotes, except the quote itself and the
// backslash (whose meaning before a quote belongs to the splitting rules, not to the URL).
std::wstring BinaryUnits() {
  std::wstring units;
  for (wchar_t c = 1; c < 0x100; ++c) {
    if (c != L'"' && c != L'\\') units.push_back(c);
  }
  units += L"\uFFFE\uFFFF\uFEFF\u2028\u202E";
  return units;
}

// What a relative path or a redirect onto a file would change: names, sizes and write times.
std::map<std::wstring, std::pair<ULONGLONG, ULONGLONG>> Listing(const std::wstring& folder) {
  std::map<std::wstring, std::pair<ULONGLONG, ULONGLONG>> files;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    const ULONGLONG size = (ULONGLONG(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    const ULONGLONG written =
        (ULONGLONG(found.ftLastWriteTime.dwHighDateTime) << 32) | found.ftLastWriteTime.dwLowDateTime;
    files[found.cFileName] = {size, written};
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return files;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::wstring CurrentFolder() {
  wchar_t buffer[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, buffer);
  return buffer;
}

struct HostileRow {
  const char* what;
  std::wstring url;
  std::string out;
};

// Where hostile text follows the state's Base64, it comes after a complete, padded encoding of a
// state without a pipe name: a strict decoder rejects the whole value, and a lenient one (Wine's
// stops at the padding) decodes a state that names no pipe. Either way the outcome is the same.
std::wstring AfterHarmlessState(const std::wstring& tail) {
  return L"fennortest://signin?state=" + Ascii(Base64Encode("{\"a\":1}")) + tail;
}

std::vector<HostileRow> HostileRows() {
  const std::string deepArray = Repeat("[", 9000) + Repeat("]", 9000);
  const std::string padded = "{\"pipeName\":1,\"pad\":\"" + Repeat("x", 18000) + "\"}";
  return {
      {"huge URL without state", L"fennortest://signin?" + Repeat(L"a=b&", 7500), kNoPipeName},
      {"binary units, no state", L"fennortest://signin?" + BinaryUnits(), kNoPipeName},
      {"binary units in the state value", AfterHarmlessState(BinaryUnits()), kNoPipeName},
      {"state only in other letter case or as a suffix",
       L"fennortest://signin?STATE=" + Ascii(Base64Encode("{\"pipeName\":\"p\"}")) + L"&mystate",
       kNoPipeName},
      {"state inside the state value",
       AfterHarmlessState(L"state=" + Ascii(Base64Encode("{\"pipeName\":\"p\"}"))), kNoPipeName},
      {"state JSON that carries a state of its own",
       WithState("{\"state\":\"" + Base64Encode("{\"pipeName\":\"p\"}") + "\"}"), kNoPipeName},
      {"pipe name nested in an object", WithState("{\"pipeName\":{\"pipeName\":\"p\"}}"),
       kNoPipeName},
      {"deeply nested arrays as the pipe name", WithState("{\"pipeName\":" + deepArray + "}"),
       kNoPipeName},
      {"deeply nested arrays, never closed", WithState(Repeat("[", 18000)),
       "Error parsing JSON: 3\n" + std::string(kNoPipeName)},
      {"huge Base64 of a state without a string pipe name", WithState(padded), kNoPipeName},
      {"huge Base64 followed by text", WithState(padded) + L"!%3D" + Repeat(L"\x7F", 100),
       kNoPipeName},
      {"huge Base64 of zero bytes", WithState(std::string(18000, '\0')),
       "Error parsing JSON: 1\n" + std::string(kNoPipeName)},
      {"unpaired surrogate outside the state",
       L"fennortest://\xD800signin?code=\xDC00&x", kNoPipeName},
      {"unpaired surrogate in the state value", AfterHarmlessState(L"\xD800\xDFFF\xDC00"),
       kNoPipeName},
      {"unpaired surrogate escaped in the JSON", WithState("{\"pipeName\":\"a\\ud800\"}"),
       "Error parsing JSON: 9\n" + std::string(kNoPipeName)},
      {"pipe name that is not UTF-8", WithState("{\"pipeName\":\"a\xff\xfe\"}"), kNoPipeName},
  };
}

TEST(HostileUrls, EachEndsOnItsFailurePathWithoutTouchingAFile) {
  const std::wstring programFolder = FolderOf(HandlerPath());
  const auto programFolderBefore = Listing(programFolder);
  const auto currentFolderBefore = Listing(CurrentFolder());

  for (const HostileRow& row : HostileRows()) {
    SCOPED_TRACE(row.what);
    const ProgramRun run = RunOpenUrl(row.url);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.out, row.out);
    EXPECT_EQ(run.err, "");
    EXPECT_LT(run.seconds, 5.0) << "a pipe was attempted";
  }
  EXPECT_EQ(Listing(programFolder), programFolderBefore);
  EXPECT_EQ(Listing(CurrentFolder()), currentFolderBefore);
}

// A URL that closes the quotes of the registered command and adds arguments of its own.
class SmuggledArguments : public ::testing::Test {
 protected:
  static constexpr wchar_t kEvilKey[] = L"Software\\Classes\\evil";
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kEvilKey); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kEvilKey); }

  static bool EvilSchemeExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kEvilKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  }

  // The command line the registered open command becomes, split as the program splits it.
  static std::vector<std::wstring> SplitAsRegistered(const std::wstring& url) {
    const std::wstring commandLine = L"\"" + HandlerPath() + L"\" --open-url \"" + url + L"\"";
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(commandLine.c_str(), &count);
    std::vector<std::wstring> arguments(argv, argv + count);
    LocalFree(argv);
    return arguments;
  }
};

TEST_F(SmuggledArguments, NeverBecomeTheCommand) {
  struct Row {
    std::wstring url;
    std::wstring value;  // what the handler receives as the URL
  } rows[] = {
      {L"x\" --register \"evil://", L"x"},
      {L"\" --register \"evil://x", L""},
      {L"x\" \"--register\" \"evil://", L"x"},
      {L"x\\\" --register \\\"evil://", L"x\" --register \"evil://"},
      {L"x\"\t--register\t\"evil://", L"x"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Utf8(row.url));
    const std::vector<std::wstring> argv = SplitAsRegistered(row.url);
    ASSERT_GE(argv.size(), 3u);
    EXPECT_EQ(argv[1], L"--open-url");
    EXPECT_EQ(argv[2], row.value);

    const ProgramRun run = RunOpenUrl(row.url);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.out, kNoPipeName);
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(EvilSchemeExists());
  }
}

// With a usable state before the quote, the part before it is an ordinary redirect: relayed as it
// stands, and the rest is ignored.
TEST_F(SmuggledArguments, AfterAValidStateOnlyThePartBeforeTheQuoteIsRelayed) {
  const std::wstring pipeName = UniqueName(L"fennor-smuggled");
  PipeListener listener(pipeName);
  listener.AcceptOneInBackground();
  const std::wstring redirect = RedirectFor(pipeName);
  const ProgramRun run = RunOpenUrl(redirect + L"\" --register \"evil://");
  EXPECT_EQ(run.exitCode, 0u) << run.out;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(listener.Received(), Utf8(redirect));
  EXPECT_FALSE(EvilSchemeExists());
}

}  // namespace
