// An install in one environment racing the teardown of the environment whose logger it replaces
// (a Worker ending): the replaced queue must be released exactly once, never after the host has
// finalized it, and the installation must not be touched after its finalizer deleted it. Built with
// ThreadSanitizer on the host, where an access to the installation that the slot's lock does not
// order before its deletion is reported even when the timing was lucky.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "LoggerSlotTestSupport.h"

namespace {

// Two threads wait for each other at every step, so each round's race starts at the same moment
// and neither thread runs ahead into the next round.
class Meeting {
 public:
  void Arrive(int step) {
    arrived_++;
    // Spinning keeps both threads running when there are cores for them; yielding lets the other
    // thread run when there are not.
    for (int spins = 0; arrived_.load() < 2 * (step + 1); ++spins) {
      if (spins > 2000) std::this_thread::yield();
    }
  }

 private:
  std::atomic<int> arrived_{0};
};

// A short wait of varying length after each meeting, and in every other round a yield: whichever
// thread leaves a meeting first, or holds the one free core, would otherwise win every race the
// same way.
class Jitter {
 public:
  explicit Jitter(uint32_t seed) : state_(seed) {}
  void Wait(bool yield) {
    if (yield) std::this_thread::yield();
    state_ = state_ * 1664525u + 1013904223u;
    for (uint32_t i = (state_ >> 16) % 4096; i > 0; --i) {
      spins_.fetch_add(1, std::memory_order_relaxed);
    }
  }

 private:
  uint32_t state_;
  std::atomic<uint32_t> spins_{0};
};

TEST(LoggerSlotThreads, InstallRacingTheReplacedEnvironmentsTeardown) {
  constexpr int kRounds = 2000;
  FakeSlot slot;
  std::vector<QueueRecord> workerQueues(kRounds);
  std::vector<QueueRecord> mainQueues(kRounds);
  std::vector<FakeInstallation*> workerInstallations(kRounds);
  for (int round = 0; round < kRounds; ++round) {
    workerInstallations[round] = new FakeInstallation(workerQueues[round]);
  }
  Meeting meet;

  // The Worker: installs its logger, then its environment is torn down, and the host finalizes
  // the queue (and with it deletes the installation) whether or not it was released.
  std::thread worker([&] {
    Jitter jitter(1);
    for (int round = 0; round < kRounds; ++round) {
      FakeInstallation* mine = workerInstallations[round];
      slot.Replace(mine);
      meet.Arrive(2 * round);
      jitter.Wait(round % 2 == 1);
      slot.EnvironmentEnding(*mine);
      Finalize(slot, mine);
      meet.Arrive(2 * round + 1);
    }
  });
  // The main thread's environment: installs its own logger at the same moment, replacing the
  // Worker's if it is still current; its previous one is finalized once released.
  FakeInstallation* previousMain = nullptr;
  Jitter jitter(2);
  for (int round = 0; round < kRounds; ++round) {
    auto* next = new FakeInstallation(mainQueues[round]);
    meet.Arrive(2 * round);
    jitter.Wait(round % 2 == 0);
    slot.Replace(next);
    meet.Arrive(2 * round + 1);
    if (previousMain) {
      ASSERT_EQ(previousMain->queue->releases.load(), 1);
      Finalize(slot, previousMain);
    }
    previousMain = next;
  }
  worker.join();
  slot.Replace(nullptr);
  Finalize(slot, previousMain);

  int replacedByMain = 0;
  for (int round = 0; round < kRounds; ++round) {
    const QueueRecord& queue = workerQueues[round];
    ASSERT_EQ(queue.releases.load(), 1) << "round " << round;
    ASSERT_EQ(queue.releasesAfterFinalize.load(), 0) << "round " << round;
    if (queue.aborts.load() == 0) ++replacedByMain;
    ASSERT_EQ(mainQueues[round].releases.load(), 1) << "round " << round;
  }
  // How often the install came first; which order wins depends on the scheduler, so it is
  // recorded, not required.
  RecordProperty("replacedByMain", replacedByMain);
}

}  // namespace
