// Reading the script logger's settings, `minLevel` and `categoryFilter`, into the bridge's filter.
#pragma once

#include <napi.h>

#include <cstdint>

#include "SharedLogFilter.h"

namespace Kestrine {

// A `minLevel` or `categoryFilter` value as a native threshold: undefined, or any number but 1, 2
// and 3 once converted to an int32, lets every line through. A value the host cannot convert
// raises its script error.
int32_t ToNativeLevel(Napi::Value value);

// Stores each setting in the filter as soon as it is read, so that a failure (a throwing getter, a
// categoryFilter that cannot be enumerated, an entry that cannot be converted) leaves what was read
// before it. A categoryFilter that is undefined raises "Invalid Logger" and keeps the previous
// entries.
void ReadLoggerSettings(Napi::Env env, Napi::Object logger, SharedLogFilter& filter);

}  // namespace Kestrine
