// The logger bridge: client log lines to the script logger installed through the module's `logger`
// property.
#pragma once

#include <napi.h>

#include <atomic>
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

  // A client library line (UTF-16, category "orloapi"), the same way.
  void LogClientLine(int32_t level, const wchar_t* message) noexcept;

  // The script level of a `minLevel` or `categoryFilter` value as a native threshold.
  static int32_t ToNativeLevel(Napi::Value value);

  JsLogger(const JsLogger&) = delete;
  JsLogger& operator=(const JsLogger&) = delete;

 private:
  struct Installation;
  struct Line;
  struct QueuedLine;

  JsLogger() = default;

  void Install(Napi::Env env, Napi::Value value);
  void ReadSettings(Napi::Env env, Napi::Object logger);
  void FilterChanged();  // with mutex_ held
  Napi::Value InstalledLogger(Napi::Env env);
  void Route(const RefString& category, bool clientCategory, int32_t level,
             const Line& line) noexcept;

  static void Deliver(napi_env env, Installation* installation, const char* category,
                      size_t categoryLength, bool clientCategory, int32_t level,
                      const Line& line) noexcept;
  static void ReportContained(napi_env env, napi_value error) noexcept;
  static void ReportConversionFailure(napi_env env) noexcept;
  static void DeleteReferences(napi_env env, Installation* installation);

  // Node-API callbacks of an installation.
  static void DeliverQueued(napi_env env, napi_value, void* context, void* data);
  static void OnQueueFinalized(napi_env env, void* data, void*);
  static void OnEnvironmentTeardown(void* data);

  // Guards the filter and which installation is current: lines may arrive on any thread, and each
  // Worker that loads the module has a script thread of its own. Never held while script runs.
  std::mutex mutex_;
  LogFilter filter_;
  Installation* current_ = nullptr;
  // The filter's threshold for client lines, kept beside it so that a line the filter drops costs
  // neither the lock nor a lookup.
  std::atomic<int32_t> clientThreshold_{kNativeError};
};

// The callback that OrloApi.initialize hands to OrloApi_SetLogger. Nothing escapes it into the
// client library.
void ClientLogSink(int32_t level, const wchar_t* message);

}  // namespace Kestrine
