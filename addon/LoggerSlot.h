// Which installation of the script logger is current, and the single release of each
// installation's queue. Free of Node-API, so that the hand-off is tested on its own, under
// ThreadSanitizer too.
#pragma once

#include <mutex>
#include <utility>

namespace Kestrine {

// Installation needs `void ReleaseQueue(bool abort) noexcept` and a `bool queueReleased` member
// (false at first) that only the slot touches, under its lock.
//
// Ownership rule: an installation belongs to its queue, whose finalizer deletes it; the host runs
// that finalizer once the queue is released, or when the installation's environment is torn down,
// whichever comes first, and after it neither may be touched. So each queue is released exactly
// once, by whichever comes first of the install that replaces it (Replace) and its environment's
// teardown (EnvironmentEnding), and always under the slot's lock; lines from other threads are
// queued under that lock too (WithCurrent); and the finalizer takes the lock (Forget) before the
// installation goes. No thread can then meet a queue or an installation that is gone.
template <typename Installation>
class LoggerSlot {
 public:
  LoggerSlot() = default;
  LoggerSlot(const LoggerSlot&) = delete;
  LoggerSlot& operator=(const LoggerSlot&) = delete;

  // Makes `next` (may be null) current and releases the queue of the installation it replaces.
  void Replace(Installation* next) noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    Installation* previous = std::exchange(current_, next);
    if (previous) ReleaseOnce(*previous, false);
  }

  // The installation's environment is being torn down: it stops being current, and its queue is
  // aborted unless an install has released it already.
  void EnvironmentEnding(Installation& installation) noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_ == &installation) current_ = nullptr;
    ReleaseOnce(installation, true);
  }

  // The installation's queue has been finalized and the installation is about to be deleted.
  void Forget(Installation& installation) noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_ == &installation) current_ = nullptr;
  }

  // Calls visit(current installation) under the lock, if there is one. The reference is valid
  // beyond the call only on the installation's own script thread, the one thread that deletes it.
  template <typename Visit>
  void WithCurrent(Visit&& visit) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_) visit(*current_);
  }

 private:
  static void ReleaseOnce(Installation& installation, bool abort) noexcept {
    if (std::exchange(installation.queueReleased, true)) return;
    installation.ReleaseQueue(abort);
  }

  std::mutex mutex_;
  Installation* current_ = nullptr;
};

}  // namespace Kestrine
