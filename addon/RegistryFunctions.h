// The registry functions of the module exports, over the shared registry library.
#pragma once

#include <napi.h>

namespace Kestrine {

Napi::Value RegisterProtocolHandler(const Napi::CallbackInfo& info);
Napi::Value IsProtocolHandlerRegistered(const Napi::CallbackInfo& info);
Napi::Value GetWendraRegionCode(const Napi::CallbackInfo& info);

}  // namespace Kestrine
