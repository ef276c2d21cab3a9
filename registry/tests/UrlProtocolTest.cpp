// Registration and lookup of URL protocols against the real registry of the Wine prefix.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "Registry.h"
#include "TestSupport.h"

namespace {

const wchar_t kHandler[] = L"C:\\Apps\\handler.exe";
const wchar_t kHandlerCommand[] = L"\"C:\\Apps\\handler.exe\" --open-url \"%1\"";

// Every test gets its own scheme, removed from both roots afterwards whatever the outcome.
class UrlProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scheme_ = UniqueName(L"fennortest-");
    uri_ = scheme_ + L"://signin?code=1";
    schemeKey_ = L"SOFTWARE\\Classes\\" + scheme_;
    commandKey_ = schemeKey_ + L"\\shell\\open\\command";
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, schemeKey_.c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, schemeKey_.c_str());
  }

  // The report line of a lookup that finds no command key under a root.
  std::string MissingCommandKeyLine() const {
    return "Registry Error: Failed to open key at: \"" + ToUtf8(commandKey_) +
           "\". Error: " + SystemMessage(ERROR_FILE_NOT_FOUND) + "\n";
  }

  std::wstring scheme_;
  std::wstring uri_;
  std::wstring schemeKey_;
  std::wstring commandKey_;
};

struct LayoutCase {
  const char* name;
  const wchar_t* path;
  const wchar_t* command;
};
// Cases print as their names, which ctest then shows in the test names.
void PrintTo(const LayoutCase& c, std::ostream* out) { *out << c.name; }

class RegistrationLayout : public UrlProtocolTest,
                           public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(RegistrationLayout, WritesTheFiveEntriesAndFindsThemAgain) {
  const LayoutCase& c = GetParam();
  {
    CerrCapture cerr;
    ASSERT_TRUE(RegisterUrlProtocol(uri_.c_str(), c.path));
    EXPECT_EQ(cerr.Text(), "");
  }

  const RawValue marker = ReadRawValue(HKEY_CURRENT_USER, schemeKey_, L"URL Protocol");
  ASSERT_EQ(marker.status, ERROR_SUCCESS);
  EXPECT_EQ(marker.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(marker.bytes, StoredBytes(L"")) << "2 bytes: the terminator only";

  const RawValue name = ReadRawValue(HKEY_CURRENT_USER, schemeKey_, L"");
  ASSERT_EQ(name.status, ERROR_SUCCESS);
  EXPECT_EQ(name.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(name.bytes, StoredBytes(L"URL:" + scheme_));

  for (const wchar_t* keyOnly : {L"\\shell", L"\\shell\\open"}) {
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, schemeKey_ + keyOnly));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, schemeKey_ + keyOnly, L"").status,
              ERROR_FILE_NOT_FOUND);
  }

  const RawValue command = ReadRawValue(HKEY_CURRENT_USER, commandKey_, L"");
  ASSERT_EQ(command.status, ERROR_SUCCESS);
  EXPECT_EQ(command.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(command.bytes, StoredBytes(c.command));
  EXPECT_EQ(command.bytes.size(), (wcslen(c.command) + 1) * 2);

  CerrCapture cerr;
  EXPECT_TRUE(IsUrlProtocolRegistered(uri_.c_str(), c.path));
  EXPECT_EQ(cerr.Text(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RegistrationLayout,
    ::testing::Values(
        LayoutCase{"Plain", kHandler, kHandlerCommand},
        LayoutCase{"Quoted", L"\"C:\\Apps\\handler.exe\"", kHandlerCommand},
        LayoutCase{"WithSpaces", L"C:\\Program Files\\Fennor\\orlo-protocolhandler.exe",
                   L"\"C:\\Program Files\\Fennor\\orlo-protocolhandler.exe\" --open-url \"%1\""},
        LayoutCase{"NonAscii", L"C:\\Users\\J\u00f6rg\\\u4e2d\\h.exe",
                   L"\"C:\\Users\\J\u00f6rg\\\u4e2d\\h.exe\" --open-url \"%1\""},
        // No path at all: the command is the suffix alone, leading space included.
        LayoutCase{"EmptyPath", L"", L" --open-url \"%1\""}));

TEST_F(UrlProtocolTest, RegisteringAgainOverwritesValuesAndDeletesNothing) {
  ASSERT_TRUE(RegisterUrlProtocol(uri_.c_str(), L"C:\\Old\\handler.exe"));
  WriteText(HKEY_CURRENT_USER, schemeKey_, L"Kept", L"other program's value");

  ASSERT_TRUE(RegisterUrlProtocol(uri_.c_str(), kHandler));

  EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, commandKey_, L"").bytes, StoredBytes(kHandlerCommand));
  EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, schemeKey_, L"Kept").bytes,
            StoredBytes(L"other program's value"));
  CerrCapture cerr;
  EXPECT_TRUE(IsUrlProtocolRegistered(uri_.c_str(), kHandler));
  EXPECT_FALSE(IsUrlProtocolRegistered(uri_.c_str(), L"C:\\Old\\handler.exe"));
}

TEST_F(UrlProtocolTest, MalformedUriIsRefusedBeforeAnyRegistryAccess) {
  // No "://"; an empty scheme (the classes root itself); a scheme reaching into subkeys.
  for (const std::wstring& uri :
       {scheme_, scheme_ + L":/signin", std::wstring(L"://signin"), scheme_ + L"\\shell://x"}) {
    SCOPED_TRACE(ToUtf8(uri));
    {
      CerrCapture cerr;
      EXPECT_FALSE(RegisterUrlProtocol(uri.c_str(), kHandler));
      EXPECT_EQ(cerr.Text(), "Invalid protocol uri\n");
    }
    {
      CerrCapture cerr;
      EXPECT_FALSE(IsUrlProtocolRegistered(uri.c_str(), kHandler));
      EXPECT_EQ(cerr.Text(), "Invalid protocol uri\n");
    }
  }
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, schemeKey_));
  EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, L"SOFTWARE\\Classes", L"URL Protocol").status,
            ERROR_FILE_NOT_FOUND);
}

// A scheme built around the test's unique name, so that every row has a key of its own.
struct SchemeCase {
  const char* name;
  std::wstring (*make)(const std::wstring& unique);
  bool accepted;
};
void PrintTo(const SchemeCase& c, std::ostream* out) { *out << c.name; }

class SchemeSyntax : public UrlProtocolTest, public ::testing::WithParamInterface<SchemeCase> {};

TEST_P(SchemeSyntax, OnlyUriSchemeSyntaxBecomesAKey) {
  const SchemeCase& c = GetParam();
  const std::wstring scheme = c.make(scheme_);
  const std::wstring uri = scheme + L"://signin";
  const std::wstring keyPath = L"SOFTWARE\\Classes\\" + scheme;
  // Removed whatever the outcome; the fixture removes the plain unique name.
  struct Cleanup {
    std::wstring path;
    ~Cleanup() {
      if (!path.empty() && path.back() != L'\\') RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
    }
  } cleanup{keyPath};

  if (c.accepted) {
    CerrCapture cerr;
    EXPECT_TRUE(RegisterUrlProtocol(uri.c_str(), kHandler));
    EXPECT_TRUE(IsUrlProtocolRegistered(uri.c_str(), kHandler));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, keyPath, L"").bytes, StoredBytes(L"URL:" + scheme));
    EXPECT_TRUE(UnregisterUrlProtocol(uri.c_str(), kHandler));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, keyPath));
    EXPECT_EQ(cerr.Text(), "");
    return;
  }
  for (bool (*operation)(const wchar_t*, const wchar_t*) :
       {RegisterUrlProtocol, IsUrlProtocolRegistered, UnregisterUrlProtocol}) {
    CerrCapture cerr;
    EXPECT_FALSE(operation(uri.c_str(), kHandler));
    EXPECT_EQ(cerr.Text(), "Invalid protocol uri\n");
  }
  if (!scheme.empty()) EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, keyPath));
  // Nor a key for the part before the odd character, nor anything in the classes root.
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, schemeKey_));
  EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, L"SOFTWARE\\Classes", L"URL Protocol").status,
            ERROR_FILE_NOT_FOUND);
}

using S = std::wstring;
INSTANTIATE_TEST_SUITE_P(
    Schemes, SchemeSyntax,
    ::testing::Values(
        SchemeCase{"Plain", [](const S& u) { return u; }, true},
        SchemeCase{"EveryAllowedCharacter", [](const S& u) { return u + L"+-.09AZaz"; }, true},
        SchemeCase{"UpperCaseFirst", [](const S& u) { return L"Z" + u; }, true},
        SchemeCase{"Empty", [](const S&) { return S(); }, false},
        SchemeCase{"LeadingDigit", [](const S& u) { return L"1" + u; }, false},
        SchemeCase{"LeadingPlus", [](const S& u) { return L"+" + u; }, false},
        SchemeCase{"LeadingMinus", [](const S& u) { return L"-" + u; }, false},
        SchemeCase{"LeadingDot", [](const S& u) { return L"." + u; }, false},
        SchemeCase{"Space", [](const S& u) { return u + L" x"; }, false},
        SchemeCase{"Tab", [](const S& u) { return u + L"\tx"; }, false},
        SchemeCase{"ControlCharacter", [](const S& u) { return u + L"\x01"; }, false},
        SchemeCase{"PercentEscape", [](const S& u) { return u + L"%62"; }, false},
        SchemeCase{"Backslash", [](const S& u) { return u + L"\\shell"; }, false},
        SchemeCase{"Slash", [](const S& u) { return u + L"/x"; }, false},
        SchemeCase{"Colon", [](const S& u) { return u + L":x"; }, false},
        SchemeCase{"Underscore", [](const S& u) { return u + L"_x"; }, false},
        SchemeCase{"Asterisk", [](const S& u) { return u + L"*"; }, false},
        SchemeCase{"LeadingAccentedLetter", [](const S& u) { return L"\u00e9" + u; }, false},
        SchemeCase{"AccentedLetter", [](const S& u) { return u + L"\u00e9"; }, false},
        SchemeCase{"FullwidthLetter", [](const S& u) { return L"\uff21" + u; }, false},
        // Folds to "k" in some case-insensitive comparisons.
        SchemeCase{"KelvinSign", [](const S& u) { return u + L"\u212a"; }, false},
        SchemeCase{"DotlessI", [](const S& u) { return u + L"\u0131"; }, false},
        SchemeCase{"SurrogatePair", [](const S& u) { return u + L"\U0001F600"; }, false},
        // The operations take NUL-terminated text: what follows a NUL is never seen, so the
        // "://" after it does not count.
        SchemeCase{"NulInside", [](const S& u) { return u + S(L"\0x", 2); }, false}));

TEST_F(UrlProtocolTest, MissingArgumentsAreRefusedInsteadOfCrashing) {
  struct Call {
    const wchar_t* uri;
    const wchar_t* path;
    const char* report;
  };
  for (const Call& call : {Call{nullptr, kHandler, "Invalid protocol uri\n"},
                           Call{uri_.c_str(), nullptr, "Invalid program path\n"}}) {
    for (bool (*operation)(const wchar_t*, const wchar_t*) :
         {RegisterUrlProtocol, IsUrlProtocolRegistered, UnregisterUrlProtocol}) {
      CerrCapture cerr;
      EXPECT_FALSE(operation(call.uri, call.path));
      EXPECT_EQ(cerr.Text(), call.report);
    }
  }
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, schemeKey_));
}

struct LookupCase {
  const char* name;
  std::wstring stored;
  DWORD type;
  bool registered;
};
void PrintTo(const LookupCase& c, std::ostream* out) { *out << c.name; }

class StoredCommandLookup : public UrlProtocolTest,
                            public ::testing::WithParamInterface<LookupCase> {};

TEST_P(StoredCommandLookup, MatchesPrefixWithoutRegardToCase) {
  const LookupCase& c = GetParam();
  WriteText(HKEY_CURRENT_USER, commandKey_, L"", c.stored, c.type);

  CerrCapture cerr;
  EXPECT_EQ(IsUrlProtocolRegistered(uri_.c_str(), kHandler), c.registered);
  // A user's key without a match sends the lookup on to the local machine, which has none here.
  EXPECT_EQ(cerr.Text(), c.registered ? "" : MissingCommandKeyLine());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, StoredCommandLookup,
    ::testing::Values(
        LookupCase{"Exact", kHandlerCommand, REG_SZ, true},
        LookupCase{"OtherCase", L"\"c:\\APPS\\Handler.EXE\" --OPEN-URL \"%1\"", REG_SZ, true},
        LookupCase{"MoreAfter", L"\"C:\\Apps\\handler.exe\" --open-url \"%1\" --verbose", REG_SZ,
                   true},
        LookupCase{"Shorter", L"\"C:\\Apps\\handler.exe\" --open-url \"%1", REG_SZ, false},
        LookupCase{"OtherProgram", L"\"C:\\Apps\\other.exe\" --open-url \"%1\"", REG_SZ, false},
        LookupCase{"Unquoted", L"C:\\Apps\\handler.exe --open-url \"%1\"", REG_SZ, false},
        LookupCase{"Empty", L"", REG_SZ, false},
        LookupCase{"ExpandSz", kHandlerCommand, REG_EXPAND_SZ, false}));

TEST_F(UrlProtocolTest, MissingUserCommandKeyStopsBeforeLocalMachine) {
  WriteText(HKEY_LOCAL_MACHINE, commandKey_, L"", kHandlerCommand);
  // Even the rest of the user's registration does not help without the command key.
  WriteText(HKEY_CURRENT_USER, schemeKey_, L"URL Protocol", L"");

  CerrCapture cerr;
  EXPECT_FALSE(IsUrlProtocolRegistered(uri_.c_str(), kHandler));
  EXPECT_EQ(cerr.Text(), MissingCommandKeyLine());
}

TEST_F(UrlProtocolTest, LocalMachineAnswersWhenUserCommandDoesNotMatch) {
  WriteText(HKEY_CURRENT_USER, commandKey_, L"", L"\"C:\\Apps\\other.exe\" --open-url \"%1\"");
  WriteText(HKEY_LOCAL_MACHINE, commandKey_, L"", kHandlerCommand);

  CerrCapture cerr;
  EXPECT_TRUE(IsUrlProtocolRegistered(uri_.c_str(), kHandler));
  EXPECT_FALSE(IsUrlProtocolRegistered(uri_.c_str(), L"C:\\Apps\\third.exe"));
  EXPECT_EQ(cerr.Text(), "");
}

TEST_F(UrlProtocolTest, FailurePartWayReportsItAndKeepsEarlierValues) {
  WriteText(HKEY_CURRENT_USER, schemeKey_ + L"\\shell", L"Seed", L"x");
  MakeReadOnly(HKEY_CURRENT_USER, schemeKey_ + L"\\shell");
  {
    HKEY probe = nullptr;
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_CURRENT_USER, (schemeKey_ + L"\\shell").c_str(), 0, KEY_WRITE, &probe),
        ERROR_ACCESS_DENIED)
        << "the registry does not enforce key access lists here";
  }

  CerrCapture cerr;
  EXPECT_FALSE(RegisterUrlProtocol(uri_.c_str(), kHandler));
  // Neither the open nor the create of "shell" got write access.
  EXPECT_EQ(cerr.Text(), "Registry Error: Failed to open key  at: \"shell\". Error: " +
                             SystemMessage(ERROR_ACCESS_DENIED) + "\n");
  EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, schemeKey_, L"URL Protocol").bytes, StoredBytes(L""));
  EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, schemeKey_, L"").bytes, StoredBytes(L"URL:" + scheme_));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, schemeKey_ + L"\\shell\\open"));
}

TEST_F(UrlProtocolTest, UnregisterThatMayNotWriteRemovesNothing) {
  ASSERT_TRUE(RegisterUrlProtocol(uri_.c_str(), kHandler));
  MakeReadOnly(HKEY_CURRENT_USER, commandKey_);

  CerrCapture cerr;
  EXPECT_FALSE(UnregisterUrlProtocol(uri_.c_str(), kHandler));
  EXPECT_EQ(cerr.Text(), "Registry Error: Failed to open key at: \"" + ToUtf8(commandKey_) +
                             "\". Error: " + SystemMessage(ERROR_ACCESS_DENIED) + "\n");
  // The scheme key was writable, but nothing goes before both keys are open for writing.
  EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, schemeKey_, L"URL Protocol").bytes, StoredBytes(L""));
  EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, schemeKey_, L"").bytes, StoredBytes(L"URL:" + scheme_));
  EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, commandKey_, L"").bytes, StoredBytes(kHandlerCommand));
}

TEST_F(UrlProtocolTest, UnregisterLeavesTheLocalMachineAlone) {
  WriteText(HKEY_LOCAL_MACHINE, commandKey_, L"", kHandlerCommand);
  ASSERT_TRUE(RegisterUrlProtocol(uri_.c_str(), kHandler));

  CerrCapture cerr;
  EXPECT_TRUE(UnregisterUrlProtocol(uri_.c_str(), kHandler));
  EXPECT_TRUE(UnregisterUrlProtocol(uri_.c_str(), kHandler)) << "nothing left to remove";
  EXPECT_EQ(cerr.Text(), "");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, schemeKey_));
  EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, commandKey_, L"").bytes, StoredBytes(kHandlerCommand));
}

}  // namespace
