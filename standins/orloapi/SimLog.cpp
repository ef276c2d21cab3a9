#include "SimLog.h"

#include <windows.h>

#include <cstdio>

#include "SimResources.h"
#include "common/Win32Error.h"
#include "SimText.h"

namespace orlosim {
namespace {

std::optional<std::wstring> LogPath() {
  DWORD needed = GetEnvironmentVariableW(L"ORLOAPI_SIM_LOG", nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::wstring path(needed, L'\0');
  DWORD length = GetEnvironmentVariableW(L"ORLOAPI_SIM_LOG", path.data(), needed);
  if (length == 0 || length >= needed) return std::nullopt;
  path.resize(length);
  return path;
}

void AppendMember(std::string& list, std::string_view name, const std::string& json) {
  if (!list.empty()) list += ',';
  list += JsonStringFromUtf8(name);
  list += ':';
  list += json;
}

}  // namespace

CallRecord::CallRecord(std::string_view function) : function_(function) {}

void CallRecord::AddArg(std::string_view name, const std::string& json) {
  AppendMember(args_, name, json);
}

void CallRecord::AddMember(std::string_view name, const std::string& json) {
  AppendMember(extra_, name, json);
}

void CallRecord::Write() const {
  std::optional<std::wstring> path = LogPath();
  if (!path) return;

  std::string line = "{\"fn\":" + JsonStringFromUtf8(function_) +
                     ",\"handle\":" + (handle_ ? std::to_string(*handle_) : std::string("null")) +
                     ",\"args\":{" + args_ + "},\"result\":" + result_;
  if (!extra_.empty()) line += "," + extra_;
  line += "}\n";

  // Append access makes every write land at the end of the file, so records of callers on several
  // threads or processes never overwrite each other; each record is one write.
  ScopedHandle file(CreateFileW(path->c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) {
    std::fprintf(stderr, "OrloApi simulator: call log: %s\n",
                 fennor::CallFailed("CreateFileW", GetLastError()).c_str());
    return;
  }
  DWORD written = 0;
  if (!WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
      written != line.size()) {
    std::fprintf(stderr, "OrloApi simulator: call log: %s\n",
                 fennor::CallFailed("WriteFile", GetLastError()).c_str());
  }
}

}  // namespace orlosim
