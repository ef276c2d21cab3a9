// The log filter as the logger bridge shares it: the script thread that installs a logger writes
// the settings while lines are filtered on whichever thread the client library calls from. Free of
// Node-API, so that it builds and is tested on the host too.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

#include "LogFilter.h"

namespace Kestrine {

class SharedLogFilter {
 public:
  // `fastCategory` must outlive the filter (a string literal). Lines of it are filtered through a
  // copy of its threshold kept in an atomic: a line the filter drops then costs neither the lock
  // nor a lookup nor an allocation, whatever thread it comes from.
  explicit SharedLogFilter(const char* fastCategory) : fastCategory_(fastCategory) {}

  SharedLogFilter(const SharedLogFilter&) = delete;
  SharedLogFilter& operator=(const SharedLogFilter&) = delete;

  // Whether a line of the category (null: the empty one) at this native level passes. The fast
  // category is recognised by its address; the same text at another address takes the lock and
  // gets the same answer. Throws only what making the category's texts may throw.
  bool IsEnabled(const char* category, int32_t level) const {
    if (category == fastCategory_) return level >= fastThreshold_.load(std::memory_order_relaxed);
    return IsEnabledLocked(category, level);
  }

  // The settings, each visible to every thread as soon as it is made.
  void SetMinLevel(int32_t level);
  void ClearCategories();
  void SetCategory(const RefString& category, int32_t level);

 private:
  bool IsEnabledLocked(const char* category, int32_t level) const;
  // With mutex_ held: the fast category's key, made before the first change so that a failure to
  // make it changes nothing; and its threshold, refreshed after every change (for a category
  // without a dot, like the client's, the lookup makes no text and cannot fail).
  const RefString& FastKey();
  void UpdateFastThreshold();

  const char* const fastCategory_;
  mutable std::mutex mutex_;
  LogFilter filter_;
  // Made on first use rather than at construction, which happens while the addon is loading.
  std::optional<RefString> fastKey_;
  std::atomic<int32_t> fastThreshold_{kNativeError};  // what filter_ starts with
};

}  // namespace Kestrine
