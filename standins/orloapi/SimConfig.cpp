#include "SimConfig.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <windows.h>

#include <string>

#include "SimResources.h"
#include "common/Win32Error.h"
#include "SimText.h"

// <windows.h> turns GetObject into GetObjectA; RapidJSON's member of that name must stay itself.
#undef GetObject

namespace orlosim {
namespace {

constexpr const char* kClientFunctions[] = {
    "OrloApi_InitializeApi",
    "OrloApi_SetLogger",
    "OrloApi_IsInstalled",
    "OrloApi_IsRunning",
    "OrloApi_IsUserSessionActive",
    "OrloApi_GetWendraUrl",
    "OrloApi_InitiateTokenRequest",
    "OrloApi_ShowSnoozableLoginWindow",
    "OrloApi_FreeApi",
};

bool IsClientFunction(std::string_view name) {
  for (const char* known : kClientFunctions) {
    if (name == known) return true;
  }
  return false;
}

// A configuration mistake, reported with the member it concerns.
struct ConfigError {
  std::string message;
};

using Value = rapidjson::Value;

bool ReadBool(const Value& value, const char* member) {
  if (!value.IsBool()) throw ConfigError{std::string(member) + " must be a boolean"};
  return value.GetBool();
}

// A status answer: true and false stand for the bytes 1 and 0; an integer is the byte itself.
uint8_t ReadStatusByte(const Value& value, const char* member) {
  if (value.IsBool()) return value.GetBool() ? 1 : 0;
  if (!value.IsUint() || value.GetUint() > 255) {
    throw ConfigError{std::string(member) + " must be a boolean or an integer from 0 to 255"};
  }
  return static_cast<uint8_t>(value.GetUint());
}

int32_t ReadInt32(const Value& value, const std::string& member) {
  if (!value.IsInt()) throw ConfigError{member + " must be a 32-bit integer"};
  return value.GetInt();
}

std::wstring ReadText(const Value& value, const std::string& member) {
  if (!value.IsString()) throw ConfigError{member + " must be a string"};
  return Utf8ToWide(std::string_view(value.GetString(), value.GetStringLength()));
}

// Raw UTF-16 code units, so a test can send text that is not well-formed.
std::wstring ReadUnits(const Value& value, const std::string& member) {
  if (!value.IsArray()) throw ConfigError{member + " must be an array of UTF-16 code units"};
  std::wstring units;
  for (const Value& unit : value.GetArray()) {
    if (!unit.IsUint() || unit.GetUint() > 0xFFFF) {
      throw ConfigError{member + " must hold integers from 0 to 65535"};
    }
    units.push_back(static_cast<wchar_t>(unit.GetUint()));
  }
  return units;
}

std::string ReadFunctionName(const Value& value, const std::string& member) {
  if (!value.IsString() || !IsClientFunction(value.GetString())) {
    throw ConfigError{member + " must name a client function"};
  }
  return value.GetString();
}

LogLine ReadLogLine(const Value& entry, const std::string& where) {
  if (!entry.IsObject()) throw ConfigError{where + " must be an object"};
  LogLine line;
  bool hasLevel = false, hasText = false, hasDuring = false;
  for (const auto& member : entry.GetObject()) {
    std::string name = member.name.GetString();
    std::string path = where + "." + name;
    if (name == "level") {
      line.level = ReadInt32(member.value, path);
      hasLevel = true;
    } else if (name == "text" || name == "units") {
      if (hasText) throw ConfigError{where + " must have only one of text and units"};
      line.text = name == "text" ? ReadText(member.value, path) : ReadUnits(member.value, path);
      hasText = true;
    } else if (name == "during") {
      line.during = ReadFunctionName(member.value, path);
      hasDuring = true;
    } else if (name == "thread") {
      std::string thread = member.value.IsString() ? member.value.GetString() : "";
      if (thread != "caller" && thread != "other") {
        throw ConfigError{path + " must be \"caller\" or \"other\""};
      }
      line.otherThread = thread == "other";
    } else if (name == "threads" || name == "repeat") {
      const int32_t count = ReadInt32(member.value, path);
      const int32_t most = name == "threads" ? 64 : 100000;
      if (count < 1 || count > most) {
        throw ConfigError{path + " must be from 1 to " + std::to_string(most)};
      }
      (name == "threads" ? line.threads : line.repeat) = count;
    } else {
      throw ConfigError{"unknown member " + path};
    }
  }
  if (!hasLevel || !hasText || !hasDuring) {
    throw ConfigError{where + " needs level, text (or units) and during"};
  }
  if (line.threads > 1 && !line.otherThread) {
    throw ConfigError{where + ".threads needs thread \"other\""};
  }
  return line;
}

SimConfig ParseConfig(const std::string& json) {
  rapidjson::Document doc;
  doc.Parse<rapidjson::kParseValidateEncodingFlag>(json.data(), json.size());
  if (doc.HasParseError()) {
    throw ConfigError{std::string("not JSON: ") + rapidjson::GetParseError_En(doc.GetParseError()) +
                      " at byte " + std::to_string(doc.GetErrorOffset())};
  }
  if (!doc.IsObject()) throw ConfigError{"the configuration must be a JSON object"};

  SimConfig config;
  bool hasAuthUrl = false;
  for (const auto& member : doc.GetObject()) {
    std::string name = member.name.GetString();
    const Value& value = member.value;
    if (name == "initializeFails") {
      config.initializeFails = ReadBool(value, "initializeFails");
    } else if (name == "installed") {
      config.installed = ReadStatusByte(value, "installed");
    } else if (name == "running") {
      config.running = ReadStatusByte(value, "running");
    } else if (name == "userSessionActive") {
      config.userSessionActive = ReadStatusByte(value, "userSessionActive");
    } else if (name == "authUrlUnterminated") {
      config.authUrlUnterminated = ReadBool(value, "authUrlUnterminated");
    } else if (name == "browser") {
      config.browser = ReadBool(value, "browser");
    } else if (name == "authUrl" || name == "authUrlUnits") {
      if (hasAuthUrl) throw ConfigError{"give only one of authUrl and authUrlUnits"};
      config.authUrl = name == "authUrl" ? ReadText(value, name) : ReadUnits(value, name);
      hasAuthUrl = true;
    } else if (name == "errors") {
      if (!value.IsObject()) throw ConfigError{"errors must be an object"};
      for (const auto& error : value.GetObject()) {
        std::string path = std::string("errors.") + error.name.GetString();
        std::string function = ReadFunctionName(error.name, path);
        config.errors[function] = ReadInt32(error.value, path);
      }
    } else if (name == "logs") {
      if (!value.IsArray()) throw ConfigError{"logs must be an array"};
      for (rapidjson::SizeType i = 0; i < value.Size(); ++i) {
        config.logs.push_back(ReadLogLine(value[i], "logs[" + std::to_string(i) + "]"));
      }
    } else {
      throw ConfigError{"unknown member " + name};
    }
  }
  return config;
}

std::optional<std::wstring> ConfigPath() {
  DWORD needed = GetEnvironmentVariableW(L"ORLOAPI_SIM_CONFIG", nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::wstring path(needed, L'\0');
  DWORD length = GetEnvironmentVariableW(L"ORLOAPI_SIM_CONFIG", path.data(), needed);
  if (length == 0 || length >= needed) return std::nullopt;  // Changed or removed meanwhile.
  path.resize(length);
  return path;
}

// The file's bytes; nullopt when there is no such file.
std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
    throw ConfigError{fennor::CallFailed("CreateFileW", error)};
  }
  std::string bytes;
  char chunk[4096];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.Get(), chunk, sizeof chunk, &read, nullptr)) {
      throw ConfigError{fennor::CallFailed("ReadFile", GetLastError())};
    }
    if (read == 0) break;
    bytes.append(chunk, read);
  }
  return bytes;
}

}  // namespace

int32_t SimConfig::ErrorFor(std::string_view function) const {
  auto found = errors.find(function);
  return found == errors.end() ? 0 : found->second;
}

std::optional<SimConfig> LoadConfig(std::string& problem) {
  std::optional<std::wstring> path = ConfigPath();
  if (!path) return SimConfig{};
  try {
    std::optional<std::string> json = ReadWholeFile(*path);
    if (!json) return SimConfig{};
    return ParseConfig(*json);
  } catch (const ConfigError& error) {
    problem = WideToUtf8Lossy(*path) + ": " + error.message;
  } catch (const std::exception& error) {
    problem = WideToUtf8Lossy(*path) + ": " + error.what();
  }
  return std::nullopt;
}

}  // namespace orlosim
