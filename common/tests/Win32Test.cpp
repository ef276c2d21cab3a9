#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/Text.h"
#include "common/Win32Error.h"
#include "common/Win32Handle.h"

namespace {

TEST(Win32Text, CodePageConversion) {
  struct Case {
    const char* name;
    std::wstring wide;
    std::string utf8;
  };
  const Case cases[] = {
      {"empty", L"", ""},
      {"ascii", L"myapp://signin?state=abc", "myapp://signin?state=abc"},
      {"BMP", L"C:\\Users\\Jos\u00e9", "C:\\Users\\Jos\xc3\xa9"},
      {"pair", L"a\U0001F600", "a\xf0\x9f\x98\x80"},
      {"embedded NUL", std::wstring(L"a\0b", 3), std::string("a\0b", 3)},
      // Flags 0: the system replaces what it cannot convert instead of failing.
      {"lone high surrogate", {L'a', wchar_t(0xD800), L'b'}, "a\xef\xbf\xbd" "b"},
      {"lone low surrogate at the end", {L'a', wchar_t(0xDC00)}, "a\xef\xbf\xbd"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(fennor::Utf8ByCodePage(c.wide), c.utf8);
  }
}

// The wide forms share the char16_t rules tested on the host; here only that wchar_t reaches them.
TEST(Win32Text, WideFormsFollowTheSameRules) {
  EXPECT_EQ(fennor::WideFromUtf8("a\xf0\x9f\x98\x80"), std::wstring(L"a\U0001F600"));
  EXPECT_EQ(fennor::WideFromUtf8("\xed\xa0\x80"), std::nullopt);
  EXPECT_EQ(fennor::Utf8FromUtf16(std::wstring(L"a\U0001F600")), "a\xf0\x9f\x98\x80");
  EXPECT_FALSE(fennor::IsWellFormedUtf16(std::wstring{L'a', wchar_t(0xDC00)}));
  EXPECT_THROW(fennor::WideFromUtf8OrBadConversion("ab\xe8"), std::range_error);
}

TEST(Win32Error, SystemTextKeepsTheLineBreak) {
  const std::string text = fennor::SystemText(ERROR_ACCESS_DENIED);
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.back(), '\n');
  // A status the system has no message for.
  EXPECT_EQ(fennor::SystemText(0x2000FFFFu), "");
}

TEST(Win32Error, CallFailedNamesTheCallAndTheReason) {
  std::string reason = fennor::SystemText(ERROR_FILE_NOT_FOUND);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
  ASSERT_FALSE(reason.empty());
  EXPECT_EQ(fennor::CallFailed("CreateFileW", ERROR_FILE_NOT_FOUND),
            "CreateFileW failed: " + reason);
  EXPECT_EQ(fennor::CallFailed("ReadFile", 0x2000FFFFu), "ReadFile failed: error 536936447");
}

// Whether a handle value still names an open object of this process.
bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != 0;
}

HANDLE NewEvent() {
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_NE(event, nullptr);
  return event;
}

TEST(ScopedHandle, ClosesOnceOnEveryPath) {
  HANDLE raw = NewEvent();
  {
    fennor::ScopedHandle owner(raw);
    EXPECT_TRUE(owner.IsValid());
    fennor::ScopedHandle moved(std::move(owner));
    EXPECT_FALSE(owner.IsValid());
    EXPECT_EQ(moved.Get(), raw);
    moved.Reset(raw);  // the handle it holds: not closed
    EXPECT_TRUE(IsOpen(raw));
  }
  EXPECT_FALSE(IsOpen(raw));

  HANDLE first = NewEvent();
  HANDLE second = NewEvent();
  fennor::ScopedHandle a(first);
  fennor::ScopedHandle b(second);
  a = std::move(b);  // closes the one a held
  EXPECT_FALSE(IsOpen(first));
  EXPECT_EQ(a.Get(), second);

  HANDLE kept = a.Release();
  EXPECT_FALSE(a.IsValid());
  EXPECT_TRUE(IsOpen(kept));
  CloseHandle(kept);
}

TEST(ScopedHandle, FailureValuesAreNotHandles) {
  fennor::ScopedHandle invalid(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(invalid.IsValid());
  fennor::ScopedHandle none;
  EXPECT_FALSE(none.IsValid());
  // Destroying either must not call CloseHandle(INVALID_HANDLE_VALUE), the process's own handle.
}

TEST(ScopedRegistryKey, ReceiveTakesTheKeyAnOpenReturns) {
  fennor::ScopedRegistryKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.Receive()),
            ERROR_SUCCESS);
  EXPECT_TRUE(key.IsValid());
  DWORD subkeys = 0;
  EXPECT_EQ(RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  HKEY raw = key.Get();
  key.Reset();
  EXPECT_NE(RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
}

}  // namespace
