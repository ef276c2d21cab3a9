// The key owner, OpenKey, SetStringValue and QueryStringValue against the real registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "Registry.h"
#include "RegistryKey.h"
#include "TestSupport.h"

namespace {

// Each test works below its own key under HKCU\Software and removes it afterwards.
class RegistryKeyTest : public ::testing::Test {
 protected:
  void SetUp() override { base_ = UniqueName(L"Software\\FennorTest-"); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str()); }

  HKEY CreateRaw(const std::wstring& path, REGSAM access = KEY_ALL_ACCESS) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, access, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    return key;
  }

  std::wstring base_;
};

// A closed handle is refused by every later call.
bool IsOpen(HKEY key) {
  return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

TEST_F(RegistryKeyTest, OwnerClosesOnceAndMovesOwnership) {
  HKEY raw = CreateRaw(base_);
  {
    RegistryKey owner(raw);
    EXPECT_EQ(owner.Get(), raw);
    EXPECT_TRUE(IsOpen(raw));
  }
  EXPECT_FALSE(IsOpen(raw));

  raw = CreateRaw(base_);
  RegistryKey first(raw);
  RegistryKey moved(std::move(first));
  EXPECT_FALSE(first.IsValid());
  EXPECT_EQ(moved.Get(), raw);
  EXPECT_TRUE(IsOpen(raw));

  HKEY other = CreateRaw(base_ + L"\\other");
  RegistryKey assigned(other);
  assigned = std::move(moved);
  EXPECT_FALSE(IsOpen(other)) << "the key it held before the assignment";
  EXPECT_TRUE(IsOpen(raw));
  EXPECT_FALSE(moved.IsValid());

  HKEY released = assigned.Release();
  EXPECT_FALSE(assigned.IsValid());
  EXPECT_TRUE(IsOpen(released));
  RegCloseKey(released);
}

TEST_F(RegistryKeyTest, OpenKeyOpensExistingKeyWithoutCreating) {
  RegCloseKey(CreateRaw(base_));
  const RegistryKey key = OpenKey(HKEY_CURRENT_USER, base_, KEY_READ, false);
  EXPECT_TRUE(IsOpen(key.Get()));
}

TEST_F(RegistryKeyTest, OpenKeyWithoutCreateReportsMissingKey) {
  const std::wstring missing = base_ + L"\\J\u00f6rg";
  try {
    OpenKey(HKEY_CURRENT_USER, missing, KEY_READ, false);
    FAIL() << "no RegistryError";
  } catch (const RegistryError& error) {
    EXPECT_EQ(error.message, "Failed to open key");
    EXPECT_EQ(error.keyPath, ToUtf8(missing));
    EXPECT_EQ(error.errorCode, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  }
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, missing));
}

TEST_F(RegistryKeyTest, OpenKeyCreatesMissingPathWithTheRequestedAccess) {
  const std::wstring path = base_ + L"\\a\\b\\c";
  const RegistryKey key = OpenKey(HKEY_CURRENT_USER, path, KEY_WRITE, true);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, path));
  const std::wstring text = L"v";
  EXPECT_EQ(
      RegSetValueExW(key.Get(), L"x", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), 4),
      ERROR_SUCCESS);
}

TEST_F(RegistryKeyTest, OpenKeyReportsFailedCreateWithTrailingSpace) {
  // An existing key that refuses write access fails the open and then the create as well.
  const std::wstring locked = base_ + L"\\locked";
  RegCloseKey(CreateRaw(locked));
  MakeReadOnly(HKEY_CURRENT_USER, locked);
  const RegistryKey parent = OpenKey(HKEY_CURRENT_USER, base_, KEY_READ, false);
  try {
    OpenKey(parent.Get(), L"locked", KEY_WRITE, true);
    FAIL() << "no RegistryError";
  } catch (const RegistryError& error) {
    EXPECT_EQ(error.message, "Failed to open key ");
    EXPECT_EQ(error.keyPath, "locked");
    EXPECT_EQ(error.errorCode, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  }
}

TEST_F(RegistryKeyTest, SetStringValueStoresTerminatedText) {
  const RegistryKey key = OpenKey(HKEY_CURRENT_USER, base_, KEY_WRITE, true);
  SetStringValue(key.Get(), L"", L"URL:myapp");
  SetStringValue(key.Get(), L"URL Protocol", L"");
  SetStringValue(key.Get(), L"name", L"J\u00f6rg \U0001F600");

  struct Expected {
    const wchar_t* name;
    std::wstring text;
  };
  for (const Expected& e : {Expected{L"", L"URL:myapp"}, Expected{L"URL Protocol", L""},
                            Expected{L"name", L"J\u00f6rg \U0001F600"}}) {
    const RawValue value = ReadRawValue(HKEY_CURRENT_USER, base_, e.name);
    ASSERT_EQ(value.status, ERROR_SUCCESS);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value.bytes.size(), (e.text.size() + 1) * 2);
    EXPECT_EQ(value.bytes, StoredBytes(e.text));
  }
}

TEST_F(RegistryKeyTest, SetStringValueReportsDeniedWriteWithoutKeyPath) {
  RegCloseKey(CreateRaw(base_));
  const RegistryKey key = OpenKey(HKEY_CURRENT_USER, base_, KEY_READ, false);
  try {
    SetStringValue(key.Get(), L"v", L"text");
    FAIL() << "no RegistryError";
  } catch (const RegistryError& error) {
    EXPECT_EQ(error.message, "Failed to set string value");
    EXPECT_EQ(error.keyPath, "");
    EXPECT_EQ(error.errorCode, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(std::string(error.what()),
              "Registry Error: Failed to set string value at: \"\". Error: " +
                  SystemMessage(ERROR_ACCESS_DENIED));
  }
  EXPECT_NE(ReadRawValue(HKEY_CURRENT_USER, base_, L"v").status, ERROR_SUCCESS);
}

TEST_F(RegistryKeyTest, QueryStringValueReadsOnlyTerminatedRegSz) {
  const wchar_t unterminated[] = {L'4', L'2'};
  const char odd[] = {'7', 0, '1'};  // "7" and a lone low byte, read as the unit 0x0031
  const DWORD number = 42;
  WriteRawValue(HKEY_CURRENT_USER, base_, L"unterminated", REG_SZ, unterminated,
                sizeof(unterminated));
  WriteRawValue(HKEY_CURRENT_USER, base_, L"odd", REG_SZ, odd, sizeof(odd));
  WriteRawValue(HKEY_CURRENT_USER, base_, L"inner", REG_SZ, L"ab\0cd", 12);
  WriteRawValue(HKEY_CURRENT_USER, base_, L"empty", REG_SZ, nullptr, 0);
  WriteText(HKEY_CURRENT_USER, base_, L"expand", L"42", REG_EXPAND_SZ);
  WriteRawValue(HKEY_CURRENT_USER, base_, L"dword", REG_DWORD, &number, sizeof(number));

  const RegistryKey key = OpenKey(HKEY_CURRENT_USER, base_, KEY_READ, false);
  EXPECT_EQ(QueryStringValue(key.Get(), L"unterminated"), std::wstring(L"42"));
  EXPECT_EQ(QueryStringValue(key.Get(), L"odd"), std::wstring(L"71"));
  EXPECT_EQ(QueryStringValue(key.Get(), L"inner"), std::wstring(L"ab"));
  EXPECT_EQ(QueryStringValue(key.Get(), L"empty"), std::wstring());
  EXPECT_EQ(QueryStringValue(key.Get(), L"expand"), std::nullopt);
  EXPECT_EQ(QueryStringValue(key.Get(), L"dword"), std::nullopt);
  EXPECT_EQ(QueryStringValue(key.Get(), L"missing"), std::nullopt);
}

}  // namespace
