// The logger bridge: log lines to the script logger installed through the module's `logger`
// property, after the level and category filter that logger configures.
#pragma once

#include <napi.h>

#include <cstdint>

#include "LoggerInstallation.h"
#include "SharedLogFilter.h"

namespace Kestrine {

class JsLogger {
 public:
  // The process-wide bridge, constructed while the addon loads, before the module registers. It is
  // shared by every environment (the main thread and each Worker) that loads the module.
  static JsLogger& Instance();

  // The `logger` accessor on the module exports.
  static Napi::Value GetLogger(const Napi::CallbackInfo& info);
  static void SetLogger(const Napi::CallbackInfo& info);

  // A line: the category in UTF-8 and the message in UTF-16 as the client library sends it (null
  // for the empty text). Filtered, then delivered. Never throws.
  void Log(const char* category, int32_t level, const wchar_t* message) noexcept;

  JsLogger(const JsLogger&) = delete;
  JsLogger& operator=(const JsLogger&) = delete;

 private:
  JsLogger();

  // Whether the filter lets the line through; a line of the client's category is answered
  // without a lock or an allocation.
  bool IsEnabled(const char* category, int32_t level) const;

  // Picks the logger's member for the level and hands the line to the installed logger: at once
  // on the logger's script thread, otherwise through its queue to that thread, behind the lines
  // queued before it. Without a logger the line is dropped.
  void Deliver(const char* category, int32_t level, const wchar_t* message) noexcept;
  void Install(Napi::Env env, Napi::Value value);
  Napi::Value InstalledLogger(Napi::Env env);

  SharedLogFilter filter_;
  LoggerInstallation::Slot slot_;
};

// The callback that OrloApi.initialize hands to OrloApi_SetLogger: the client's lines, in the
// category "orloapi". Nothing escapes it into the client library.
void ClientLogSink(int32_t level, const wchar_t* message);

}  // namespace Kestrine
