// The logger bridge: client log lines to the script logger installed through the module's `logger`
// property.
#pragma once

#include <napi.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "LogFilter.h"

namespace Kestrine {

class JsLogger {
 public:
  // The process-wide bridge, constructed while the addon loads, before the module registers.
  static JsLogger& Instance();

  // The `logger` accessor on the module exports.
  static Napi::Value GetLogger(const Napi::CallbackInfo& info);
  static void SetLogger(const Napi::CallbackInfo& info);

  // A line in UTF-8 (either text may be null). Filtered here; handed to the installed logger at
  // once on its script thread, or queued to that thread from any other thread. Never throws: what
  // goes wrong while delivering is reported as a process warning in the logger's environment.
  void Log(const char* category, int32_t level, const char* message) noexcept;

  // A client library line, UTF-16. Converted to UTF-8 only once it has passed the filter.
  void LogClientLine(int32_t level, const wchar_t* message) noexcept;

  // The script level of a `minLevel` or `categoryFilter` value as a native threshold.
  static int32_t ToNativeLevel(Napi::Value value);

  JsLogger(const JsLogger&) = delete;
  JsLogger& operator=(const JsLogger&) = delete;

 private:
  struct Installation;
  struct QueuedLine;

  JsLogger() = default;

  void Install(Napi::Env env, Napi::Value value);
  void ReadSettings(Napi::Env env, Napi::Object logger);
  Napi::Value InstalledLogger(Napi::Env env);

  template <typename MakeText>
  void Route(const RefString& category, int32_t level, MakeText makeText) noexcept;

  static void Deliver(napi_env env, napi_ref logger, const std::string& category, int32_t level,
                      const std::string& message) noexcept;
  static void ReportContained(napi_env env, napi_value error) noexcept;
  static void ReportConversionFailure(napi_env env) noexcept;

  // Node-API callbacks of an installation.
  static void DeliverQueued(napi_env env, napi_value, void* context, void* data);
  static void OnQueueFinalized(napi_env env, void* data, void*);
  static void OnEnvironmentTeardown(void* data);

  // Guards the filter and which installation is current: lines may arrive on any thread, and each
  // Worker that loads the module has a script thread of its own. Never held while script runs.
  std::mutex mutex_;
  LogFilter filter_;
  Installation* current_ = nullptr;
};

// The callback that OrloApi.initialize hands to OrloApi_SetLogger. Nothing escapes it into the
// client library.
void ClientLogSink(int32_t level, const wchar_t* message);

}  // namespace Kestrine
