#include "SharedLogFilter.h"

namespace Kestrine {

bool SharedLogFilter::IsEnabledLocked(const char* category, int32_t level) const {
  const RefString key(category);
  std::lock_guard<std::mutex> lock(mutex_);
  return filter_.IsEnabled(key, level);
}

void SharedLogFilter::SetMinLevel(int32_t level) {
  std::lock_guard<std::mutex> lock(mutex_);
  FastKey();
  filter_.minLevel = level;
  UpdateFastThreshold();
}

void SharedLogFilter::ClearCategories() {
  std::lock_guard<std::mutex> lock(mutex_);
  FastKey();
  filter_.categoryFilter.clear();
  UpdateFastThreshold();
}

void SharedLogFilter::SetCategory(const RefString& category, int32_t level) {
  std::lock_guard<std::mutex> lock(mutex_);
  FastKey();
  filter_.categoryFilter.insert_or_assign(category, level);
  UpdateFastThreshold();
}

const RefString& SharedLogFilter::FastKey() {
  if (!fastKey_) fastKey_.emplace(fastCategory_);
  return *fastKey_;
}

void SharedLogFilter::UpdateFastThreshold() {
  fastThreshold_.store(filter_.ThresholdFor(FastKey()), std::memory_order_relaxed);
}

}  // namespace Kestrine
