// The level and category filter of the logger bridge, free of Node-API so that it builds and is
// tested on every platform.
#pragma once

#include <cstdint>
#include <map>

#include "RefString.h"

namespace Kestrine {

// The client library's levels, lowest severity first. Other values (for example -4 or 0) occur and
// count as errors.
enum NativeLevel : int32_t {
  kNativeTrace = -5,
  kNativeInfo = -3,
  kNativeWarning = -2,
  kNativeError = -1,
};

// A script level (0 trace, 1 info, 2 warning, 3 error), already converted to int32, as a native
// threshold. Anything but 1, 2 and 3 lets every line through.
int32_t ScriptLevelToNative(int32_t scriptLevel);

// The script logger's member that receives a line of this native level.
const char* LoggerMemberFor(int32_t nativeLevel);

struct LogFilter {
  // Threshold for categories that no entry of categoryFilter governs.
  int32_t minLevel = kNativeError;
  std::map<RefString, int32_t> categoryFilter;

  // The entry of the category decides, else that of its longest dotted prefix ("a.b.c", "a.b",
  // "a"), else minLevel.
  bool IsEnabled(const RefString& category, int32_t level) const;
  // The level from which lines of the category pass.
  int32_t ThresholdFor(const RefString& category) const;
};

}  // namespace Kestrine
