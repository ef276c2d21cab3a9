// One installed script logger: the reference to it, and the queue that carries lines from other
// threads to its environment's script thread, both made and let go of on that thread.
#pragma once

#include <napi.h>

#include <memory>
#include <thread>

#include "EnvCleanupHook.h"
#include "LoggerSlot.h"

namespace Kestrine {

class LoggerInstallation {
 public:
  using Slot = LoggerSlot<LoggerInstallation>;

  // Makes the installation of `logger` in `env`, not yet current: hand it to `slot`. It belongs to
  // its queue from then on, whose finalizer deletes it (the ownership rule is in LoggerSlot.h).
  static LoggerInstallation* Create(Napi::Env env, Napi::Object logger, Slot& slot);

  LoggerInstallation(const LoggerInstallation&) = delete;
  LoggerInstallation& operator=(const LoggerInstallation&) = delete;

  napi_env Env() const { return env_; }
  bool OnScriptThread() const { return std::this_thread::get_id() == scriptThread_; }
  // Valid on the script thread only.
  const Napi::ObjectReference& Logger() const { return logger_; }

  // From another thread, under the slot's lock: copies the line and queues its delivery to the
  // script thread, behind the lines queued before it. Throws std::bad_alloc.
  void Post(const char* category, const char* member, const wchar_t* message);

  // The slot's, under its lock.
  void ReleaseQueue(bool abort) noexcept;
  bool queueReleased = false;

 private:
  struct QueuedLine;
  friend struct std::default_delete<LoggerInstallation>;  // its owners: Create, then the queue

  LoggerInstallation(Napi::Env env, Napi::Object logger, Slot& slot);
  ~LoggerInstallation() = default;

  // Node-API callbacks, all on the script thread.
  static void DeliverQueued(napi_env env, napi_value, void* context, void* data);
  static void OnQueueFinalized(napi_env env, void* data, void* hint);
  static void OnEnvironmentTeardown(void* data);

  napi_env env_;
  std::thread::id scriptThread_;
  Slot& slot_;
  Napi::ObjectReference logger_;
  EnvCleanupHook teardownHook_;
  // Released once, by the slot; never owned the other way round, because releasing it is what lets
  // the host finalize it and so delete this installation.
  napi_threadsafe_function queue_ = nullptr;
};

}  // namespace Kestrine
