#include "LogFilter.h"

#include <optional>

namespace Kestrine {

int32_t ScriptLevelToNative(int32_t scriptLevel) {
  switch (scriptLevel) {
    case 1:
      return kNativeInfo;
    case 2:
      return kNativeWarning;
    case 3:
      return kNativeError;
    default:
      return kNativeTrace;
  }
}

const char* LoggerMemberFor(int32_t nativeLevel) {
  switch (nativeLevel) {
    case kNativeTrace:
      return "logTrace";
    case kNativeInfo:
      return "logInfo";
    case kNativeWarning:
      return "logWarning";
    default:
      return "logError";
  }
}

bool LogFilter::IsEnabled(const RefString& category, int32_t level) const {
  return level >= ThresholdFor(category);
}

int32_t LogFilter::ThresholdFor(const RefString& category) const {
  // A loop rather than recursion: the number of dots is up to whoever names the category.
  const RefString* key = &category;
  std::optional<RefString> prefix;
  for (;;) {
    auto found = categoryFilter.find(*key);
    if (found != categoryFilter.end()) return found->second;
    const uint64_t dot = key->rfind('.');
    if (dot == RefString::npos) return minLevel;
    RefString shorter = key->substr(0, dot);
    prefix.emplace(shorter);
    key = &*prefix;
  }
}

}  // namespace Kestrine
