// Helpers shared by the registry library's tests.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

// Collects what is written to std::cerr while it lives, and puts the old buffer back even when a
// test assertion leaves the scope early.
class CerrCapture {
 public:
  CerrCapture() : old_(std::cerr.rdbuf(captured_.rdbuf())) {}
  ~CerrCapture() { std::cerr.rdbuf(old_); }
  CerrCapture(const CerrCapture&) = delete;
  CerrCapture& operator=(const CerrCapture&) = delete;

  std::string Text() const { return captured_.str(); }

 private:
  std::ostringstream captured_;
  std::streambuf* old_;
};

// The system's own text for a status, as an independent reference for report lines.
inline std::string SystemMessage(DWORD code) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0x400, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  std::string text = length != 0 ? std::string(buffer, length) : std::string();
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}

// Writes a value of any type with the given bytes, for setting up what a test reads.
inline void WriteRawValue(HKEY root, const std::wstring& keyPath, const wchar_t* name, DWORD type,
                          const void* data, DWORD size) {
  HKEY key = nullptr;
  LSTATUS status =
      RegCreateKeyExW(root, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) {
    throw std::runtime_error("RegCreateKeyExW failed in test setup: " + std::to_string(status));
  }
  status = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) {
    throw std::runtime_error("RegSetValueExW failed in test setup: " + std::to_string(status));
  }
}

inline void WriteText(HKEY root, const std::wstring& keyPath, const wchar_t* name,
                      const std::wstring& text, DWORD type = REG_SZ) {
  WriteRawValue(root, keyPath, name, type, text.c_str(),
                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

struct RawValue {
  LSTATUS status = ERROR_FILE_NOT_FOUND;
  DWORD type = REG_NONE;
  std::string bytes;
};

// Reads a value's type and exact bytes; status says why there is none.
inline RawValue ReadRawValue(HKEY root, const std::wstring& keyPath, const wchar_t* name) {
  RawValue value;
  HKEY key = nullptr;
  value.status = RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ, &key);
  if (value.status != ERROR_SUCCESS) return value;
  DWORD size = 0;
  value.status = RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size);
  if (value.status == ERROR_SUCCESS) {
    value.bytes.assign(size, '\0');
    value.status = RegQueryValueExW(key, name, nullptr, &value.type,
                                    reinterpret_cast<BYTE*>(&value.bytes[0]), &size);
    value.bytes.resize(size);
  }
  RegCloseKey(key);
  return value;
}

// The bytes RegSetValueExW stores for a REG_SZ text with its terminator.
inline std::string StoredBytes(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.c_str()),
                     (text.size() + 1) * sizeof(wchar_t));
}

inline bool KeyExists(HKEY root, const std::wstring& keyPath) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// A name no other test and no other test process uses: the running test's name and the process id.
// Anything but letters and digits becomes '-', so the result is a plain URL scheme.
inline std::wstring UniqueName(const std::wstring& prefix) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "-" + info->name();
  std::wstring result = prefix;
  for (char c : name) result.push_back(isalnum(static_cast<unsigned char>(c)) ? c : L'-');
  return result + L"-" + std::to_wstring(GetCurrentProcessId());
}

// Replaces a key's access list with one that lets everyone read, delete and change the list, but
// neither write values nor create subkeys.
inline void MakeReadOnly(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(root, path.c_str(), 0, WRITE_DAC, &key), ERROR_SUCCESS);
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ASSERT_TRUE(
      AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  alignas(DWORD) BYTE aclBuffer[256];
  PACL acl = reinterpret_cast<PACL>(aclBuffer);
  ASSERT_TRUE(InitializeAcl(acl, sizeof(aclBuffer), ACL_REVISION));
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | DELETE | WRITE_DAC, everyone));
  SECURITY_DESCRIPTOR descriptor;
  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE));
  EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor), ERROR_SUCCESS);
  FreeSid(everyone);
  RegCloseKey(key);
}
