#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "HostShimUnderTest.h"

namespace {

// The version resource of the built DLL, read the way Explorer and installers read it.
class HostShimVersion : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(HostShimUnderTest::Get().Module(), path, MAX_PATH);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    ASSERT_GT(size, 0u) << "GetFileVersionInfoSizeW failed: " << GetLastError();
    data_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, data_.data()))
        << "GetFileVersionInfoW failed: " << GetLastError();
  }

  std::wstring StringValue(const std::wstring& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring key = L"\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueW(data_.data(), key.c_str(), &value, &length) || length == 0)
      return L"<none>";
    return std::wstring(static_cast<const wchar_t*>(value));
  }

  std::vector<unsigned char> data_;
};

TEST_F(HostShimVersion, StringsInUsEnglishUnicodeBlock) {
  const struct {
    const wchar_t* name;
    const wchar_t* value;
  } expected[] = {
      {L"CompanyName", L"Kestrine"},          {L"FileDescription", L"HostShim for Windows"},
      {L"FileVersion", L"2025.12.23.2"},      {L"InternalName", L"HostShim.dll"},
      {L"OriginalFilename", L"HostShim.dll"}, {L"ProductName", L"HostShim"},
      {L"ProductVersion", L"2025.12.23.2"},
  };
  for (const auto& entry : expected) {
    EXPECT_EQ(StringValue(entry.name), entry.value) << std::wstring(entry.name).c_str();
  }

  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation", &value, &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0409);
  EXPECT_EQ(static_cast<const WORD*>(value)[1], 0x04B0);
}

TEST_F(HostShimVersion, FixedFileAndProductVersion) {
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\", &value, &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  const auto& fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed.dwFileVersionMS, (2025u << 16) | 12u);
  EXPECT_EQ(fixed.dwFileVersionLS, (23u << 16) | 2u);
  EXPECT_EQ(fixed.dwProductVersionMS, (2025u << 16) | 12u);
  EXPECT_EQ(fixed.dwProductVersionLS, (23u << 16) | 2u);
  EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_DLL));
}

}  // namespace
