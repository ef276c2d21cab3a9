// The client simulator as a caller sees it: configuration read at every call, the call log, log
// lines through the callback, handles, and the browser act.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "OrloApiClient.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::wstring TempPath(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + L"orloapi-sim-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         name;
}

void WriteFileText(const std::wstring& path, const std::string& text) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  ASSERT_NE(file, nullptr);
  fwrite(text.data(), 1, text.size(), file);
  fclose(file);
}

std::string ReadFileText(const std::wstring& path) {
  std::string text;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return text;
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
  fclose(file);
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    configPath_ = TempPath(L"config.json");
    logPath_ = TempPath(L"calls.jsonl");
    DeleteFileW(configPath_.c_str());
    DeleteFileW(logPath_.c_str());
    SetEnvironmentVariableW(L"ORLOAPI_SIM_CONFIG", configPath_.c_str());
    SetEnvironmentVariableW(L"ORLOAPI_SIM_LOG", logPath_.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"ORLOAPI_SIM_CONFIG", nullptr);
    SetEnvironmentVariableW(L"ORLOAPI_SIM_LOG", nullptr);
    DeleteFileW(configPath_.c_str());
    DeleteFileW(logPath_.c_str());
  }

  void Configure(const std::string& json) { WriteFileText(configPath_, json); }
  std::vector<std::string> CallLog() { return Lines(ReadFileText(logPath_)); }

  std::wstring configPath_;
  std::wstring logPath_;
};

struct ReceivedLine {
  int32_t level;
  std::wstring text;
  DWORD thread;
};
std::vector<ReceivedLine> received;

void RecordLine(int32_t level, const wchar_t* message) {
  received.push_back({level, message, GetCurrentThreadId()});
}

TEST_F(SimulatorTest, WithoutConfigurationTheClientIsInstalledAndRunningWithoutSession) {
  SetEnvironmentVariableW(L"ORLOAPI_SIM_CONFIG", nullptr);
  OrloApiHandle handle = OrloApi_InitializeApi(nullptr);
  ASSERT_NE(handle, nullptr);
  uint8_t installed = 0, running = 0, active = 1;
  EXPECT_EQ(OrloApi_IsInstalled(handle, &installed), 0);
  EXPECT_EQ(OrloApi_IsRunning(handle, &running), 0);
  EXPECT_EQ(OrloApi_IsUserSessionActive(handle, &active), 0);
  EXPECT_EQ(installed, 1);
  EXPECT_EQ(running, 1);
  EXPECT_EQ(active, 0);
  wchar_t url[1024];
  uint32_t size = 1024;
  EXPECT_EQ(OrloApi_GetWendraUrl(handle, L"Varka.FederatedAuth.Url", url, &size), 0);
  EXPECT_EQ(std::wstring(url).rfind(L"https://", 0), 0u);
  EXPECT_EQ(OrloApi_FreeApi(handle), 0);
}

TEST_F(SimulatorTest, ConfigurationIsReadAfreshAtEveryCall) {
  OrloApiHandle handle = OrloApi_InitializeApi(nullptr);
  ASSERT_NE(handle, nullptr);
  uint8_t running = 1;
  Configure(R"({"running": false})");
  EXPECT_EQ(OrloApi_IsRunning(handle, &running), 0);
  EXPECT_EQ(running, 0);
  Configure(R"({"errors": {"OrloApi_IsRunning": -101}})");
  running = 7;
  EXPECT_EQ(OrloApi_IsRunning(handle, &running), -101);
  EXPECT_EQ(running, 7) << "a failing query must leave the answer alone";
  Configure(R"({"initializeFails": true})");
  EXPECT_EQ(OrloApi_InitializeApi(nullptr), nullptr);
  OrloApi_FreeApi(handle);
}

// A client may answer with any byte, not only 0 and 1: each query writes what its member says.
TEST_F(SimulatorTest, StatusQueriesWriteTheConfiguredByte) {
  OrloApiHandle handle = OrloApi_InitializeApi(nullptr);
  ASSERT_NE(handle, nullptr);
  for (int value : {0, 1, 2, 127, 128, 254, 255}) {
    SCOPED_TRACE(value);
    const std::string byte = std::to_string(value);
    // Each query gets a different byte, so a mix-up between members shows.
    const std::string other = std::to_string(255 - value);
    Configure(R"({"installed": )" + byte + R"(, "running": )" + other +
              R"(, "userSessionActive": )" + byte + "}");
    uint8_t installed = 0x5A, running = 0x5A, active = 0x5A;
    EXPECT_EQ(OrloApi_IsInstalled(handle, &installed), 0);
    EXPECT_EQ(OrloApi_IsRunning(handle, &running), 0);
    EXPECT_EQ(OrloApi_IsUserSessionActive(handle, &active), 0);
    EXPECT_EQ(installed, value);
    EXPECT_EQ(running, 255 - value);
    EXPECT_EQ(active, value);
  }
  Configure(R"({"installed": true, "running": false})");
  uint8_t installed = 0x5A, running = 0x5A;
  EXPECT_EQ(OrloApi_IsInstalled(handle, &installed), 0);
  EXPECT_EQ(OrloApi_IsRunning(handle, &running), 0);
  EXPECT_EQ(installed, 1) << "true is the byte 1";
  EXPECT_EQ(running, 0) << "false is the byte 0";
  OrloApi_FreeApi(handle);
}

TEST_F(SimulatorTest, CallLogRecordsArgumentsAsReceivedAndResults) {
  OrloApiHandle handle = OrloApi_InitializeApi(nullptr);
  ASSERT_NE(handle, nullptr);
  const wchar_t loneHigh[] = {L'x', 0xD800, L'y', 0};
  EXPECT_EQ(OrloApi_InitiateTokenRequest(handle, L"id", L"a b", L"myapp://cb", L"\u00e9\U0001F600",
                                         loneHigh),
            0);
  EXPECT_EQ(OrloApi_ShowSnoozableLoginWindow(handle, -1), 0);
  Configure(R"({"errors": {"OrloApi_ShowSnoozableLoginWindow": 7}})");
  EXPECT_EQ(OrloApi_ShowSnoozableLoginWindow(handle, 4660), 7);
  OrloApi_FreeApi(handle);

  std::vector<std::string> log = CallLog();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_THAT(log[0], HasSubstr(R"("fn":"OrloApi_InitializeApi","handle":null)"));
  std::string number = log[0].substr(log[0].find(R"("result":)") + 9);
  number = number.substr(0, number.find('}'));
  EXPECT_EQ(log[1], R"({"fn":"OrloApi_InitiateTokenRequest","handle":)" + number +
                        R"(,"args":{"clientId":"id","scopes":"a b","redirectUri":"myapp://cb",)"
                        "\"codeChallenge\":\"\xC3\xA9\xF0\x9F\x98\x80\",\"state\":\"x\\ud800y\"},"
                        R"("result":0})");
  EXPECT_THAT(log[2], HasSubstr(R"("args":{"parent":-1},"result":0)"));
  EXPECT_THAT(log[3], HasSubstr(R"("args":{"parent":4660},"result":7)"));
  EXPECT_EQ(log[4], R"({"fn":"OrloApi_FreeApi","handle":)" + number + R"(,"args":{},"result":0})");
}

TEST_F(SimulatorTest, AuthUrlUnitsReachTheCallerUnchanged) {
  OrloApiHandle handle = OrloApi_InitializeApi(nullptr);
  Configure(R"({"authUrlUnits": [104, 55357, 0, 120]})");
  wchar_t url[8] = {1, 1, 1, 1, 1, 1, 1, 1};
  uint32_t size = 8;
  ASSERT_EQ(OrloApi_GetWendraUrl(handle, L"Varka.FederatedAuth.Url", url, &size), 0);
  EXPECT_THAT(std::vector<wchar_t>(url, url + 5), ElementsAre(104, 55357, 0, 120, 0));

  Configure(R"({"authUrl": "https://a.example/\u00e9"})");
  size = 8;
  EXPECT_EQ(OrloApi_GetWendraUrl(handle, L"Varka.FederatedAuth.Url", url, &size), -110)
      << "a buffer too small gets nothing";
  EXPECT_EQ(size, 20u);
  size = 8;
  EXPECT_EQ(OrloApi_GetWendraUrl(handle, L"Other.Key", url, &size), -104);
  OrloApi_FreeApi(handle);
}

TEST_F(SimulatorTest, LogLinesGoThroughTheCallbackDuringTheirFunctionOnTheirThread) {
  received.clear();
  Configure(R"({"logs": [
      {"level": -3, "text": "on caller", "during": "OrloApi_IsRunning"},
      {"level": -1, "units": [97, 56320], "during": "OrloApi_IsRunning", "thread": "other"},
      {"level": -5, "text": "set", "during": "OrloApi_SetLogger"},
      {"level": -2, "text": "never", "during": "OrloApi_IsInstalled"}]})");
  OrloApiHandle handle = OrloApi_InitializeApi(nullptr);
  ASSERT_NE(handle, nullptr);
  ASSERT_EQ(OrloApi_SetLogger(handle, RecordLine), 0);
  ASSERT_EQ(received.size(), 1u) << "the callback is in place for lines during its installation";
  EXPECT_EQ(received[0].text, L"set");
  received.clear();

  uint8_t running = 0;
  ASSERT_EQ(OrloApi_IsRunning(handle, &running), 0);
  ASSERT_EQ(received.size(), 2u) << "the second thread is joined before the call returns";
  EXPECT_EQ(received[0].level, -3);
  EXPECT_EQ(received[0].text, L"on caller");
  EXPECT_EQ(received[0].thread, GetCurrentThreadId());
  EXPECT_EQ(received[1].level, -1);
  EXPECT_EQ(received[1].text, (std::wstring{L'a', static_cast<wchar_t>(56320)}));
  EXPECT_NE(received[1].thread, GetCurrentThreadId());
  OrloApi_FreeApi(handle);
}

std::mutex concurrentMutex;
std::vector<ReceivedLine> concurrent;

void RecordConcurrentLine(int32_t level, const wchar_t* message) {
  std::lock_guard<std::mutex> lock(concurrentMutex);
  concurrent.push_back({level, message, GetCurrentThreadId()});
}

TEST_F(SimulatorTest, RepeatedLinesFromSeveralThreadsAtOnceAreNumbered) {
  concurrent.clear();
  Configure(R"({"logs": [
      {"level": -3, "text": "many", "during": "OrloApi_IsRunning", "thread": "other",
       "threads": 4, "repeat": 3},
      {"level": -1, "text": "again", "during": "OrloApi_IsRunning", "repeat": 2}]})");
  OrloApiHandle handle = OrloApi_InitializeApi(nullptr);
  ASSERT_NE(handle, nullptr);
  ASSERT_EQ(OrloApi_SetLogger(handle, RecordConcurrentLine), 0);
  uint8_t running = 0;
  ASSERT_EQ(OrloApi_IsRunning(handle, &running), 0);
  ASSERT_EQ(concurrent.size(), 14u) << "every sender is joined before the call returns";
  std::map<std::wstring, std::vector<std::wstring>> byThread;  // sender's number -> copies seen
  std::set<DWORD> senders;
  for (size_t i = 0; i < 12; ++i) {
    const ReceivedLine& line = concurrent[i];
    EXPECT_EQ(line.level, -3);
    EXPECT_NE(line.thread, GetCurrentThreadId());
    senders.insert(line.thread);
    ASSERT_EQ(line.text.rfind(L"many ", 0), 0u);
    const std::wstring number = line.text.substr(5);
    byThread[number.substr(0, number.find(L'.'))].push_back(number);
  }
  EXPECT_EQ(senders.size(), 4u);
  ASSERT_EQ(byThread.size(), 4u);
  for (const auto& [thread, copies] : byThread) {
    EXPECT_EQ(copies, (std::vector<std::wstring>{thread + L".0", thread + L".1", thread + L".2"}));
  }
  EXPECT_EQ(concurrent[12].text, L"again 0.0");
  EXPECT_EQ(concurrent[13].text, L"again 0.1");
  EXPECT_EQ(concurrent[13].thread, GetCurrentThreadId());
  OrloApi_FreeApi(handle);
}

TEST_F(SimulatorTest, ReleasedAndUnknownHandlesAreRefused) {
  OrloApiHandle first = OrloApi_InitializeApi(nullptr);
  OrloApiHandle second = OrloApi_InitializeApi(nullptr);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(first, second);
  EXPECT_EQ(OrloApi_FreeApi(first), 0);
  uint8_t running = 0;
  EXPECT_EQ(OrloApi_IsRunning(first, &running), -110);
  EXPECT_EQ(OrloApi_FreeApi(first), -110) << "a second release is refused, not repeated";
  EXPECT_EQ(OrloApi_IsRunning(second, &running), 0);
  EXPECT_EQ(OrloApi_IsRunning(reinterpret_cast<OrloApiHandle>(0x1234567), &running), -110);
  OrloApiHandle third = OrloApi_InitializeApi(nullptr);
  EXPECT_NE(third, first) << "handles are never reused";
  OrloApi_FreeApi(second);
  OrloApi_FreeApi(third);
  std::vector<std::string> log = CallLog();
  EXPECT_THAT(log.back(), HasSubstr(R"("fn":"OrloApi_FreeApi")"));
}

TEST_F(SimulatorTest, UnusableConfigurationFailsEveryCall) {
  OrloApiHandle handle = OrloApi_InitializeApi(nullptr);
  uint8_t running = 0;
  for (const char* config :
       {R"({"running": "yes"})", R"({"running": 256})", R"({"installed": -1})",
        R"({"userSessionActive": 1.5})", R"({"running": null})", R"({"runing": true})", "{not json",
        R"({"errors": {"OrloApi_Nothing": 1}})", R"({"logs": [{"level": 1, "text": "x"}]})",
        R"({"logs": [{"level": 1, "text": "x", "during": "OrloApi_IsRunning", "threads": 2}]})",
        R"({"logs": [{"level": 1, "text": "x", "during": "OrloApi_IsRunning", "repeat": 0}]})"}) {
    SCOPED_TRACE(config);
    Configure(config);
    EXPECT_EQ(OrloApi_IsRunning(handle, &running), -103);
    EXPECT_EQ(OrloApi_InitializeApi(nullptr), nullptr);
  }
  DeleteFileW(configPath_.c_str());
  EXPECT_EQ(OrloApi_IsRunning(handle, &running), 0) << "a missing file means the defaults";
  OrloApi_FreeApi(handle);
}

TEST_F(SimulatorTest, BrowserStartsTheRegisteredOpenCommandWithTheRedirectUrl) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring target(self);
  target = target.substr(0, target.find_last_of(L'\\') + 1) + L"orloapi_sim_browser_target.exe";
  std::wstring command = L"\"" + target + L"\" --open-url \"%1\"";
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes\\orlosimtest\\shell\\open\\command", 0,
                      nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                 static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  std::wstring out = TempPath(L"browser-out.txt");
  DeleteFileW(out.c_str());
  SetEnvironmentVariableW(L"SIM_BROWSER_TARGET_OUT", out.c_str());

  Configure(R"({"browser": true})");
  OrloApiHandle handle = OrloApi_InitializeApi(nullptr);
  ASSERT_EQ(OrloApi_InitiateTokenRequest(handle, L"id", L"s", L"orlosimtest://cb", L"ch", L"c3Q="),
            0);
  std::string written;
  for (int i = 0; i < 100 && written.empty(); ++i) {
    Sleep(50);
    written = ReadFileText(out);
  }
  std::wstring commandLine(reinterpret_cast<const wchar_t*>(written.data()),
                           written.size() / sizeof(wchar_t));
  EXPECT_THAT(commandLine, HasSubstr(L"--open-url \"orlosimtest://cb?code="));
  EXPECT_THAT(commandLine, HasSubstr(L"&state=c3Q=\""));
  EXPECT_THAT(CallLog().back(), HasSubstr(R"("browser":{"url":"orlosimtest://cb?code=)"));
  OrloApi_FreeApi(handle);
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\orlosimtest");
  DeleteFileW(out.c_str());
}

}  // namespace
