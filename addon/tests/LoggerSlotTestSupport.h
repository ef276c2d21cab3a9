// A stand-in for an installation and for the host's thread-safe queue it owns, as the logger slot
// sees them. The queue keeps a record that outlives the installation, so a test can tell how often
// it was released and whether a release came after the host had finalized it (in the host, a use
// after free).
#pragma once

#include <atomic>
#include <cstdint>

#include "LoggerSlot.h"

struct QueueRecord {
  std::atomic<int> releases{0};
  std::atomic<int> aborts{0};
  std::atomic<int> releasesAfterFinalize{0};
  std::atomic<bool> finalized{false};
};

struct FakeInstallation {
  explicit FakeInstallation(QueueRecord& queue) : queue(&queue) {}

  void ReleaseQueue(bool abort) noexcept {
    if (queue->finalized.load()) queue->releasesAfterFinalize++;
    queue->releases++;
    if (abort) queue->aborts++;
  }

  bool queueReleased = false;  // the slot's
  QueueRecord* queue;
};

using FakeSlot = Kestrine::LoggerSlot<FakeInstallation>;

// What the host does once a queue is finalized: the finalizer lets the slot forget the
// installation, and the installation is deleted.
inline void Finalize(FakeSlot& slot, FakeInstallation* installation) {
  slot.Forget(*installation);
  installation->queue->finalized = true;
  delete installation;
}
