#include "LoggerInstallation.h"

#include <cwchar>
#include <string>
#include <utility>

#include "LoggerDelivery.h"

namespace Kestrine {

struct LoggerInstallation::QueuedLine {
  std::string category;
  const char* member;
  std::wstring message;  // as the client sent it: checked when it is delivered
};

LoggerInstallation::LoggerInstallation(Napi::Env env, Napi::Object logger, Slot& slot)
    : env_(env),
      scriptThread_(std::this_thread::get_id()),
      slot_(slot),
      logger_(Napi::Persistent(logger)),
      teardownHook_(env, OnEnvironmentTeardown, this) {}

LoggerInstallation* LoggerInstallation::Create(Napi::Env env, Napi::Object logger, Slot& slot) {
  std::unique_ptr<LoggerInstallation> installation(new LoggerInstallation(env, logger, slot));
  NAPI_THROW_IF_FAILED(
      env,
      napi_create_threadsafe_function(env, nullptr, nullptr, Napi::String::New(env, "JsLogger"),
                                      0, 1, installation.get(), OnQueueFinalized,
                                      installation.get(), DeliverQueued, &installation->queue_),
      nullptr);
  // From here the queue's finalizer owns the installation.
  LoggerInstallation* owned = installation.release();
  // The queue must never keep the event loop alive on its own.
  napi_unref_threadsafe_function(env, owned->queue_);
  return owned;
}

void LoggerInstallation::Post(const char* category, const char* member, const wchar_t* message) {
  auto line = std::make_unique<QueuedLine>(
      QueuedLine{category ? category : "", member, message ? message : L""});
  if (napi_call_threadsafe_function(queue_, line.get(), napi_tsfn_nonblocking) == napi_ok) {
    line.release();
  }
}

void LoggerInstallation::ReleaseQueue(bool abort) noexcept {
  napi_release_threadsafe_function(queue_, abort ? napi_tsfn_abort : napi_tsfn_release);
}

void LoggerInstallation::DeliverQueued(napi_env env, napi_value, void* context, void* data) {
  std::unique_ptr<QueuedLine> line(static_cast<QueuedLine*>(data));
  // No environment: the queue is being emptied at teardown, and the line has nowhere to go.
  if (!env || !line) return;
  auto* installation = static_cast<LoggerInstallation*>(context);
  if (installation->logger_.IsEmpty()) return;
  DeliverLine(env, installation->logger_, line->member, line->category.c_str(),
              line->message.data(), line->message.size());
}

void LoggerInstallation::OnQueueFinalized(napi_env, void* data, void*) {
  std::unique_ptr<LoggerInstallation> installation(static_cast<LoggerInstallation*>(data));
  installation->slot_.Forget(*installation);
}

void LoggerInstallation::OnEnvironmentTeardown(void* data) {
  auto* installation = static_cast<LoggerInstallation*>(data);
  installation->teardownHook_.MarkRan();
  // Later lines find no logger: they are filtered and dropped.
  installation->slot_.EnvironmentEnding(*installation);
  // The reference belongs to this environment and goes with it, before the host finalizes the
  // queue (and with it deletes the installation).
  try {
    installation->logger_.Reset();
  } catch (...) {
  }
}

}  // namespace Kestrine
