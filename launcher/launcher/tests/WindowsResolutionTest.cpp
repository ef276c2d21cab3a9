// Resolution under the Windows rules against the real registry (the InstallLocation values under
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE), the real environment (%LOCALAPPDATA%) and real files.
// Whatever those values held before a test is put back after it.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/Text.h"
#include "launcher/InstallResolution.h"

namespace works::launcher {
namespace {

const wchar_t kValue[] = L"InstallLocation";
const wchar_t* const kSubKeys[] = {L"Software\\Kestrine\\FennorWorks",
                                   L"Software\\Kestrine\\FennorWorksBeta"};

std::string Utf8(const std::wstring& text) { return fennor::Utf8FromUtf16(text).value(); }

const wchar_t* SubKey(Channel channel) { return kSubKeys[channel == Channel::Beta ? 1 : 0]; }

// One registry value as it was before the test: absent, or its type and bytes; and whether its key
// existed at all.
struct SavedValue {
  HKEY root;
  const wchar_t* subKey;
  bool keyExisted = false;
  std::optional<std::vector<BYTE>> data;
  DWORD type = REG_NONE;
};

SavedValue Save(HKEY root, const wchar_t* subKey) {
  SavedValue saved{root, subKey};
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return saved;
  saved.keyExisted = true;
  DWORD size = 0;
  if (RegQueryValueExW(key, kValue, nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<BYTE> bytes(size);
    if (RegQueryValueExW(key, kValue, nullptr, &saved.type, bytes.data(), &size) ==
        ERROR_SUCCESS) {
      bytes.resize(size);
      saved.data = std::move(bytes);
    }
  }
  RegCloseKey(key);
  return saved;
}

void Restore(const SavedValue& saved) {
  if (saved.data) {
    RegSetKeyValueW(saved.root, saved.subKey, kValue, saved.type, saved.data->data(),
                    static_cast<DWORD>(saved.data->size()));
  } else {
    RegDeleteKeyValueW(saved.root, saved.subKey, kValue);
    if (!saved.keyExisted) RegDeleteKeyW(saved.root, saved.subKey);
  }
}

std::optional<std::wstring> Environment(const wchar_t* name) {
  const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::wstring value(needed, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), needed));
  return value;
}

void SetLocation(HKEY root, Channel channel, const std::wstring& location) {
  ASSERT_EQ(RegSetKeyValueW(root, SubKey(channel), kValue, REG_SZ, location.c_str(),
                            static_cast<DWORD>((location.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

void CreateFileAt(const std::wstring& path) {
  // Every folder on the way, then the file.
  for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  }
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
  CloseHandle(file);
}

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

bool NothingExists(const std::string&) { return false; }

std::string NotFound(const std::string& name, const std::vector<std::string>& candidates) {
  std::string joined;
  for (size_t i = 0; i < candidates.size(); ++i) joined += (i ? "\" or \"" : "") + candidates[i];
  return name + " was not found at \"" + joined + "\". Is " + name + " installed?";
}

class WindowsResolutionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      for (const wchar_t* subKey : kSubKeys) {
        saved_.push_back(Save(root, subKey));
        RegDeleteKeyValueW(root, subKey, kValue);
      }
    }
    savedLocalAppData_ = Environment(L"LOCALAPPDATA");
    wchar_t temp[MAX_PATH + 1];
    ASSERT_NE(GetTempPathW(MAX_PATH + 1, temp), 0u);
    root_ = std::wstring(temp) + L"launcher-resolution-" + std::to_wstring(GetCurrentProcessId()) +
            L"-" + std::to_wstring(GetTickCount64());
    ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
    localAppData_ = root_ + L"\\Local";
    SetEnvironmentVariableW(L"LOCALAPPDATA", localAppData_.c_str());
  }

  void TearDown() override {
    for (const SavedValue& saved : saved_) Restore(saved);
    SetEnvironmentVariableW(L"LOCALAPPDATA",
                            savedLocalAppData_ ? savedLocalAppData_->c_str() : nullptr);
    RemoveTree(root_);
  }

  // The default per-user install of a channel under the test's %LOCALAPPDATA%.
  std::wstring DefaultInstall(Channel channel) const {
    return localAppData_ + (channel == Channel::Beta
                                ? L"\\Programs\\FennorWorksBeta\\FennorWorks.exe"
                                : L"\\Programs\\FennorWorks\\FennorWorks.exe");
  }

  std::vector<SavedValue> saved_;
  std::optional<std::wstring> savedLocalAppData_;
  std::wstring root_;
  std::wstring localAppData_;
};

TEST_F(WindowsResolutionTest, UserRegistrationThenMachineThenLocalAppData) {
  SetLocation(HKEY_CURRENT_USER, Channel::Production, root_ + L"\\User");
  SetLocation(HKEY_LOCAL_MACHINE, Channel::Production, root_ + L"\\Machine\\Fennor.EXE");
  SetLocation(HKEY_CURRENT_USER, Channel::Beta, root_ + L"\\UserBeta\\");
  EXPECT_EQ(resolveInstalledExecutable(Channel::Production, NothingExists).errorMessage,
            NotFound("Fennor Works", {Utf8(root_ + L"\\User\\FennorWorks.exe"),
                                      Utf8(root_ + L"\\Machine\\Fennor.EXE"),
                                      Utf8(DefaultInstall(Channel::Production))}));
  EXPECT_EQ(resolveInstalledExecutable(Channel::Beta, NothingExists).errorMessage,
            NotFound("Fennor Works (beta)", {Utf8(root_ + L"\\UserBeta\\FennorWorks.exe"),
                                             Utf8(DefaultInstall(Channel::Beta))}));
}

TEST_F(WindowsResolutionTest, FindsTheFirstInstallThatExists) {
  // Non-ASCII on the way: the registry's UTF-16 must reach the filesystem as the same name.
  const std::wstring machine = root_ + L"\\Jos\u00e9 \u20ac\\FennorWorks.exe";
  SetLocation(HKEY_CURRENT_USER, Channel::Production, root_ + L"\\NotThere");
  SetLocation(HKEY_LOCAL_MACHINE, Channel::Production, machine);
  CreateFileAt(machine);
  CreateFileAt(DefaultInstall(Channel::Production));
  const ResolveResult result = resolveInstalledExecutable(Channel::Production);
  EXPECT_TRUE(result.found);
  EXPECT_EQ(result.executablePath, Utf8(machine));
  EXPECT_TRUE(isChannelInstalled(Channel::Production));
  EXPECT_FALSE(isChannelInstalled(Channel::Beta));
}

TEST_F(WindowsResolutionTest, LocalAppDataIsReadAsUnicode) {
  localAppData_ = root_ + L"\\\u0416\u00e9";
  SetEnvironmentVariableW(L"LOCALAPPDATA", localAppData_.c_str());
  CreateFileAt(DefaultInstall(Channel::Beta));
  const ResolveResult result = resolveInstalledExecutable(Channel::Beta);
  EXPECT_TRUE(result.found);
  EXPECT_EQ(result.executablePath, Utf8(DefaultInstall(Channel::Beta)));
}

TEST_F(WindowsResolutionTest, OnlyTheOtherChannelInstalledAddsTheNote) {
  CreateFileAt(DefaultInstall(Channel::Beta));
  const ResolveResult result = resolveInstalledExecutable(Channel::Production);
  EXPECT_FALSE(result.found);
  EXPECT_EQ(result.errorMessage,
            NotFound("Fennor Works", {Utf8(DefaultInstall(Channel::Production))}) +
                "\nNote: Only the beta version of Fennor Works is installed; install the "
                "production version first, or remove --prod to launch the beta one.");
}

// A location that names no absolute place is no install: the candidate it would give is looked up
// in the current directory (an empty value gives the bare "FennorWorks.exe"), where anyone who
// chose the directory could have put a program of their own.
TEST_F(WindowsResolutionTest, LocationsThatNameNoInstallAreSkipped) {
  struct Case {
    const char* name;
    std::wstring location;
  };
  const Case cases[] = {
      {"empty", L""},
      {"relative folder", L"Apps\\FennorWorks"},
      {"relative executable", L"FennorWorks.exe"},
      {"drive-relative", L"C:FennorWorks.exe"},
      {"unpaired surrogate", std::wstring(L"C:\\Apps\\") + wchar_t(0xD800) + L"x"},
  };
  const std::string onlyDefault =
      NotFound("Fennor Works", {Utf8(DefaultInstall(Channel::Production))});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLocation(HKEY_CURRENT_USER, Channel::Production, c.location);
    SetLocation(HKEY_LOCAL_MACHINE, Channel::Production, c.location);
    EXPECT_EQ(resolveInstalledExecutable(Channel::Production, NothingExists).errorMessage,
              onlyDefault);
  }
  // Even with the file right there in the current directory.
  wchar_t previous[MAX_PATH + 1];
  ASSERT_NE(GetCurrentDirectoryW(MAX_PATH + 1, previous), 0u);
  CreateFileAt(root_ + L"\\FennorWorks.exe");
  ASSERT_TRUE(SetCurrentDirectoryW(root_.c_str()));
  SetLocation(HKEY_CURRENT_USER, Channel::Production, L"");
  const ResolveResult result = resolveInstalledExecutable(Channel::Production);
  SetCurrentDirectoryW(previous);
  EXPECT_FALSE(result.found) << result.executablePath;
}

TEST_F(WindowsResolutionTest, NoLocalAppDataLeavesTheRegisteredInstalls) {
  SetEnvironmentVariableW(L"LOCALAPPDATA", nullptr);
  SetLocation(HKEY_LOCAL_MACHINE, Channel::Beta, root_ + L"\\B");
  EXPECT_EQ(resolveInstalledExecutable(Channel::Beta, NothingExists).errorMessage,
            NotFound("Fennor Works (beta)", {Utf8(root_ + L"\\B\\FennorWorks.exe")}));
}

TEST_F(WindowsResolutionTest, ThisBuildUsesTheWindowsRules) {
  EXPECT_EQ(currentPlatform(), Platform::Windows);
}

}  // namespace
}  // namespace works::launcher
