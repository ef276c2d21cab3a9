// The client simulator: OrloApi.dll's nine functions, driven by the configuration file and recorded
// in the call log (see README.md in this folder for the contract).
#define ORLOAPI_BUILDING_LIBRARY
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "OrloApiClient.h"
#include "SimBrowser.h"
#include "SimConfig.h"
#include "SimLog.h"
#include "SimText.h"

namespace orlosim {
namespace {

constexpr int32_t kUnhandledException = -103;  // the configuration could not be used
constexpr int32_t kNotFound = -104;            // unknown discovery key
constexpr int32_t kInvalidArgument = -110;     // unknown handle, null pointer, buffer too small

constexpr wchar_t kAuthUrlKey[] = L"Varka.FederatedAuth.Url";

struct Client {
  explicit Client(uint64_t number) : number(number) {}
  const uint64_t number;
  std::atomic<OrloApiLogCallback> callback{nullptr};
};

// Handles are numbers that are never reused, not addresses: a call with a released or made-up
// handle is recognised instead of reaching freed memory.
class ClientTable {
 public:
  std::shared_ptr<Client> Create() {
    std::lock_guard<std::mutex> lock(mutex_);
    auto client = std::make_shared<Client>(++lastNumber_);
    clients_[client->number] = client;
    return client;
  }
  std::shared_ptr<Client> Find(OrloApiHandle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = clients_.find(NumberOf(handle));
    return found == clients_.end() ? nullptr : found->second;
  }
  void Remove(const Client& client) {
    std::lock_guard<std::mutex> lock(mutex_);
    clients_.erase(client.number);
  }

  static OrloApiHandle HandleOf(const Client& client) {
    return reinterpret_cast<OrloApiHandle>(static_cast<uintptr_t>(client.number << 4));
  }

 private:
  static uint64_t NumberOf(OrloApiHandle handle) {
    uintptr_t bits = reinterpret_cast<uintptr_t>(handle);
    return (bits & 0xF) != 0 ? 0 : bits >> 4;
  }

  std::mutex mutex_;
  uint64_t lastNumber_ = 0;
  std::map<uint64_t, std::shared_ptr<Client>> clients_;
};

ClientTable& Clients() {
  static ClientTable* table = new ClientTable;  // Outlives every caller, even at process exit.
  return *table;
}

std::optional<SimConfig> LoadConfigOrReport() {
  std::string problem;
  std::optional<SimConfig> config = LoadConfig(problem);
  if (!config) std::fprintf(stderr, "OrloApi simulator: configuration: %s\n", problem.c_str());
  return config;
}

void SendLogLines(const SimConfig& config, std::string_view function, const Client& client) {
  OrloApiLogCallback callback = client.callback.load();
  if (callback == nullptr) return;
  for (const LogLine& line : config.logs) {
    if (line.during != function) continue;
    const bool numbered = line.threads > 1 || line.repeat > 1;
    auto send = [&](int thread) {
      for (int copy = 0; copy < line.repeat; ++copy) {
        if (!numbered) {
          callback(line.level, line.text.c_str());
          continue;
        }
        const std::wstring text =
            line.text + L" " + std::to_wstring(thread) + L"." + std::to_wstring(copy);
        callback(line.level, text.c_str());
      }
    };
    if (line.otherThread) {
      std::vector<std::thread> senders;
      for (int thread = 0; thread < line.threads; ++thread) senders.emplace_back(send, thread);
      for (std::thread& sender : senders) sender.join();
    } else {
      send(0);
    }
  }
}

// The shared course of a call on a handle: the configured error wins over the body, and the log
// lines configured for the function are sent before it returns.
template <typename Body>
int32_t RunClientCall(std::string_view function, OrloApiHandle handle, CallRecord& record,
                      Body body) {
  std::shared_ptr<Client> client = Clients().Find(handle);
  record.SetHandle(client ? std::optional<uint64_t>(client->number) : std::nullopt);
  int32_t code = 0;
  std::optional<SimConfig> config = LoadConfigOrReport();
  if (!config) {
    code = kUnhandledException;
  } else if (!client) {
    code = kInvalidArgument;
  } else {
    code = config->ErrorFor(function);
    if (code == 0) code = body(*config, *client, record);
    SendLogLines(*config, function, *client);
  }
  record.SetResult(std::to_string(code));
  record.Write();
  return code;
}

std::string JsonOptionalWide(const wchar_t* text) {
  return text == nullptr ? "null" : JsonStringFromWide(text);
}

template <typename Read>
int32_t StatusQuery(const char* function, OrloApiHandle handle, uint8_t* answer, Read read) {
  CallRecord record(function);
  // The byte's value on entry shows whether the caller preset it.
  record.AddArg("preset", answer == nullptr ? std::string("null") : std::to_string(*answer));
  return RunClientCall(function, handle, record,
                       [&](const SimConfig& config, Client&, CallRecord&) {
                         if (answer == nullptr) return kInvalidArgument;
                         *answer = read(config);
                         return 0;
                       });
}

}  // namespace
}  // namespace orlosim

using namespace orlosim;

extern "C" {

OrloApiHandle OrloApi_InitializeApi(void* reserved) {
  CallRecord record("OrloApi_InitializeApi");
  record.AddArg("reserved", std::to_string(reinterpret_cast<uintptr_t>(reserved)));
  OrloApiHandle handle = nullptr;
  std::optional<SimConfig> config = LoadConfigOrReport();
  if (config && !config->initializeFails) {
    std::shared_ptr<Client> client = Clients().Create();
    handle = ClientTable::HandleOf(*client);
    record.SetResult(std::to_string(client->number));
  }
  record.Write();
  return handle;
}

int32_t OrloApi_SetLogger(OrloApiHandle handle, OrloApiLogCallback callback) {
  CallRecord record("OrloApi_SetLogger");
  record.AddArg("callback", callback == nullptr ? "null" : "true");
  return RunClientCall("OrloApi_SetLogger", handle, record,
                       [&](const SimConfig&, Client& client, CallRecord&) {
                         client.callback.store(callback);
                         return 0;
                       });
}

int32_t OrloApi_IsInstalled(OrloApiHandle handle, uint8_t* installed) {
  return StatusQuery("OrloApi_IsInstalled", handle, installed,
                     [](const SimConfig& config) { return config.installed; });
}

int32_t OrloApi_IsRunning(OrloApiHandle handle, uint8_t* running) {
  return StatusQuery("OrloApi_IsRunning", handle, running,
                     [](const SimConfig& config) { return config.running; });
}

int32_t OrloApi_IsUserSessionActive(OrloApiHandle handle, uint8_t* active) {
  return StatusQuery("OrloApi_IsUserSessionActive", handle, active,
                     [](const SimConfig& config) { return config.userSessionActive; });
}

int32_t OrloApi_GetWendraUrl(OrloApiHandle handle, const wchar_t* key, wchar_t* buffer,
                             uint32_t* size) {
  CallRecord record("OrloApi_GetWendraUrl");
  record.AddArg("key", JsonOptionalWide(key));
  record.AddArg("size", size == nullptr ? std::string("null") : std::to_string(*size));
  return RunClientCall("OrloApi_GetWendraUrl", handle, record,
                       [&](const SimConfig& config, Client&, CallRecord&) {
                         if (key == nullptr || buffer == nullptr || size == nullptr)
                           return kInvalidArgument;
                         if (std::wstring_view(key) != kAuthUrlKey) return kNotFound;
                         const std::wstring& url = config.authUrl;
                         if (config.authUrlUnterminated) {
                           size_t units = std::min<size_t>(url.size(), *size);
                           url.copy(buffer, units);
                           *size = static_cast<uint32_t>(units);
                           return 0;
                         }
                         // Too small a buffer gets nothing but the size it would need.
                         if (url.size() + 1 > *size) {
                           *size = static_cast<uint32_t>(url.size() + 1);
                           return kInvalidArgument;
                         }
                         url.copy(buffer, url.size());
                         buffer[url.size()] = L'\0';
                         *size = static_cast<uint32_t>(url.size() + 1);
                         return 0;
                       });
}

int32_t OrloApi_InitiateTokenRequest(OrloApiHandle handle, const wchar_t* clientId,
                                     const wchar_t* scopes, const wchar_t* redirectUri,
                                     const wchar_t* codeChallenge, const wchar_t* state) {
  CallRecord record("OrloApi_InitiateTokenRequest");
  record.AddArg("clientId", JsonOptionalWide(clientId));
  record.AddArg("scopes", JsonOptionalWide(scopes));
  record.AddArg("redirectUri", JsonOptionalWide(redirectUri));
  record.AddArg("codeChallenge", JsonOptionalWide(codeChallenge));
  record.AddArg("state", JsonOptionalWide(state));
  return RunClientCall("OrloApi_InitiateTokenRequest", handle, record,
                       [&](const SimConfig& config, Client&, CallRecord& record) {
                         if (!clientId || !scopes || !redirectUri || !codeChallenge || !state) {
                           return kInvalidArgument;
                         }
                         if (config.browser) {
                           record.AddMember("browser", OpenRedirectLikeBrowser(redirectUri, state));
                         }
                         return 0;
                       });
}

int32_t OrloApi_ShowSnoozableLoginWindow(OrloApiHandle handle, int32_t parentWindow) {
  CallRecord record("OrloApi_ShowSnoozableLoginWindow");
  record.AddArg("parent", std::to_string(parentWindow));
  return RunClientCall("OrloApi_ShowSnoozableLoginWindow", handle, record,
                       [](const SimConfig&, Client&, CallRecord&) { return 0; });
}

int32_t OrloApi_FreeApi(OrloApiHandle handle) {
  CallRecord record("OrloApi_FreeApi");
  // Released even when the configuration makes the call report an error: the caller never
  // retries a release.
  std::shared_ptr<Client> client = Clients().Find(handle);
  if (client) Clients().Remove(*client);
  record.SetHandle(client ? std::optional<uint64_t>(client->number) : std::nullopt);
  int32_t code = kInvalidArgument;
  std::optional<SimConfig> config = LoadConfigOrReport();
  if (!config) {
    code = kUnhandledException;
  } else if (client) {
    code = config->ErrorFor("OrloApi_FreeApi");
    SendLogLines(*config, "OrloApi_FreeApi", *client);
  }
  record.SetResult(std::to_string(code));
  record.Write();
  return code;
}

}  // extern "C"
