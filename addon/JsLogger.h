// The logger bridge: client log lines to the script logger installed through the module's `logger`
// property.
#pragma once

#include <napi.h>

#include <cstdint>

namespace Kestrine {

class JsLogger {
 public:
  // The process-wide bridge, constructed while the addon loads, before the module registers.
  static JsLogger& Instance();

  // The `logger` accessor on the module exports.
  static Napi::Value GetLogger(const Napi::CallbackInfo& info);
  static void SetLogger(const Napi::CallbackInfo& info);
};

// The callback that OrloApi.initialize hands to OrloApi_SetLogger.
void ClientLogSink(int32_t level, const wchar_t* message);

}  // namespace Kestrine
