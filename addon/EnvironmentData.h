// What the addon keeps per Node-API environment (the main thread and each worker that loads it).
// It lives in the environment's instance data, the one slot Node-API gives an addon per
// environment, and is deleted when that environment is torn down.
#pragma once

#include <napi.h>

namespace Kestrine {

struct EnvironmentData {
  // Keeps the OrloApi class constructor (and the callback data the host attaches to it) alive as
  // long as the environment that defined it.
  Napi::FunctionReference orloApiConstructor;
};

// The environment's data, created on first use.
EnvironmentData& DataOf(Napi::Env env);

}  // namespace Kestrine
