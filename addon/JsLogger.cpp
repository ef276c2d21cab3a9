#include "JsLogger.h"

#include <cwchar>
#include <memory>
#include <thread>
#include <utility>

#include "BridgeText.h"

namespace Kestrine {

// One installed script logger: the reference to it and the queue that carries lines from other
// threads to its environment's script thread. Everything Node-API in it is created, used and deleted
// on that thread; other threads only queue lines and release the queue.
struct JsLogger::Installation {
  napi_env env = nullptr;
  napi_ref logger = nullptr;
  napi_threadsafe_function queue = nullptr;
  std::thread::id scriptThread;
  bool released = false;     // the queue has been released; guarded by JsLogger::mutex_
  bool teardownRan = false;  // the environment is going away; script thread only
};

struct JsLogger::QueuedLine {
  std::string category;
  int32_t level = 0;
  std::string message;
  bool conversionFailed = false;
};

JsLogger& JsLogger::Instance() {
  // Never destroyed: client threads and queue finalizers may still reach it while the process ends.
  static JsLogger* const instance = new JsLogger();
  return *instance;
}

Napi::Value JsLogger::GetLogger(const Napi::CallbackInfo& info) {
  return Instance().InstalledLogger(info.Env());
}

void JsLogger::SetLogger(const Napi::CallbackInfo& info) {
  Instance().Install(info.Env(), info[0]);
}

Napi::Value JsLogger::InstalledLogger(Napi::Env env) {
  napi_ref logger = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A logger installed by another environment (a Worker) cannot be handed to this one.
    if (current_ && current_->env == static_cast<napi_env>(env)) logger = current_->logger;
  }
  if (!logger) return env.Undefined();
  napi_value value;
  napi_status status = napi_get_reference_value(env, logger, &value);
  NAPI_THROW_IF_FAILED(env, status, Napi::Value());
  return Napi::Value(env, value);
}

void JsLogger::Install(Napi::Env env, Napi::Value value) {
  Installation* previous;
  bool releasePrevious = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    previous = std::exchange(current_, nullptr);
    if (previous) releasePrevious = !std::exchange(previous->released, true);
  }
  // The previous logger's reference is deleted by its queue's finalizer, on its own script thread,
  // once the lines already queued for it have been delivered.
  if (releasePrevious) napi_release_threadsafe_function(previous->queue, napi_tsfn_release);

  Napi::Object object = value.ToObject();

  auto installation = std::make_unique<Installation>();
  installation->env = env;
  installation->scriptThread = std::this_thread::get_id();
  napi_status status = napi_create_reference(env, object, 1, &installation->logger);
  NAPI_THROW_IF_FAILED_VOID(env, status);
  status = napi_create_threadsafe_function(env, nullptr, nullptr, Napi::String::New(env, "JsLogger"),
                                           0, 1, installation.get(), OnQueueFinalized,
                                           installation.get(), DeliverQueued, &installation->queue);
  if (status != napi_ok) {
    Napi::Error error = Napi::Error::New(env);
    napi_delete_reference(env, installation->logger);
    throw error;
  }
  // From here the queue's finalizer owns the installation.
  Installation* installed = installation.release();
  // The queue must never keep the event loop alive on its own.
  napi_unref_threadsafe_function(env, installed->queue);
  napi_add_env_cleanup_hook(env, OnEnvironmentTeardown, installed);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    current_ = installed;
  }

  ReadSettings(env, object);
}

void JsLogger::ReadSettings(Napi::Env env, Napi::Object logger) {
  const int32_t minLevel = ToNativeLevel(logger.Get("minLevel"));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    filter_.minLevel = minLevel;
  }

  Napi::Value categories = logger.Get("categoryFilter");
  if (categories.IsUndefined()) throw Napi::Error::New(env, "Invalid Logger");
  {
    std::lock_guard<std::mutex> lock(mutex_);
    filter_.categoryFilter.clear();
  }

  Napi::HandleScope scope(env);
  // Enumerated through the host as given: a non-object value is the host's to accept or reject.
  Napi::Object filterObject(env, categories);
  Napi::Array names = filterObject.GetPropertyNames();
  const uint32_t count = names.Length();
  for (uint32_t i = 0; i < count; ++i) {
    Napi::Value name = names.Get(i);
    const std::string category = name.As<Napi::String>().Utf8Value();
    // Read by the name's own value, so that a name holding a NUL reads its own property.
    const int32_t level = ToNativeLevel(filterObject.Get(name));
    RefString key(category.data(), category.size());
    std::lock_guard<std::mutex> lock(mutex_);
    filter_.categoryFilter.insert_or_assign(key, level);
  }
}

int32_t JsLogger::ToNativeLevel(Napi::Value value) {
  if (value.IsUndefined()) return kNativeTrace;
  return ScriptLevelToNative(value.ToNumber().Int32Value());
}

void JsLogger::Log(const char* category, int32_t level, const char* message) noexcept {
  try {
    const RefString key(category);
    Route(key, level, [message] { return std::string(message ? message : ""); });
  } catch (...) {
    // Out of memory for the category: the line is lost, the caller carries on.
  }
}

void JsLogger::LogClientLine(int32_t level, const wchar_t* message) noexcept {
  try {
    // Made once: every client line has this category, and a dropped line should cost no allocation.
    static const RefString* const category = new RefString("orloapi");
    Route(*category, level, [message] {
      const wchar_t* text = message ? message : L"";
      return bridge_text::Utf16ToUtf8(text, std::wcslen(text));
    });
  } catch (...) {
  }
}

template <typename MakeText>
void JsLogger::Route(const RefString& category, int32_t level, MakeText makeText) noexcept {
  try {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!filter_.IsEnabled(category, level)) return;
    Installation* installation = current_;
    if (!installation) return;

    if (installation->scriptThread == std::this_thread::get_id()) {
      // On the logger's own script thread the installation cannot go away under us: its finalizer
      // and teardown hook run on this thread too.
      napi_env env = installation->env;
      napi_ref logger = installation->logger;
      lock.unlock();
      std::string text;
      try {
        text = makeText();
      } catch (const std::range_error&) {
        ReportConversionFailure(env);
        return;
      }
      Deliver(env, logger, std::string(category.c_str(), category.length()), level, text);
      return;
    }

    // Another thread: copy the line and queue it while the lock keeps the queue alive.
    auto line = std::make_unique<QueuedLine>();
    line->category.assign(category.c_str(), category.length());
    line->level = level;
    try {
      line->message = makeText();
    } catch (const std::range_error&) {
      line->conversionFailed = true;
    }
    if (napi_call_threadsafe_function(installation->queue, line.get(), napi_tsfn_nonblocking) ==
        napi_ok) {
      line.release();
    }
  } catch (...) {
    // Out of memory while filtering or copying: the line is lost, the caller carries on.
  }
}

void JsLogger::Deliver(napi_env env, napi_ref logger, const std::string& category, int32_t level,
                       const std::string& message) noexcept {
  napi_handle_scope scope;
  if (napi_open_handle_scope(env, &scope) != napi_ok) return;
  try {
    Napi::Env scriptEnv(env);
    napi_value loggerValue;
    NAPI_THROW_IF_FAILED_VOID(env, napi_get_reference_value(env, logger, &loggerValue));
    Napi::Value member = Napi::Object(env, loggerValue).Get(LoggerMemberFor(level));
    if (!member.IsUndefined()) {
      napi_value args[] = {Napi::String::New(scriptEnv, category),
                           Napi::String::New(scriptEnv, message)};
      napi_value result;
      NAPI_THROW_IF_FAILED_VOID(
          env, napi_call_function(env, scriptEnv.Undefined(), member, 2, args, &result));
    }
  } catch (const Napi::Error& error) {
    ReportContained(env, error.Value());
  } catch (...) {
    napi_value ignored;
    napi_get_and_clear_last_exception(env, &ignored);
  }
  napi_close_handle_scope(env, scope);
}

// A failure while delivering must not reach the client library nor be left pending to fail the
// script method that made the client call. It is handed to process.emitWarning, so it shows on
// standard error by default and reaches process.on('warning') listeners, and both carry on.
void JsLogger::ReportContained(napi_env env, napi_value error) noexcept {
  try {
    Napi::Env scriptEnv(env);
    Napi::Value warning(env, error);
    bool isError = false;
    napi_is_error(env, error, &isError);
    if (!isError) {
      warning = Napi::Error::New(scriptEnv, warning.ToString().Utf8Value()).Value();
    }
    Napi::Object process = scriptEnv.Global().Get("process").As<Napi::Object>();
    Napi::Value emitWarning = process.Get("emitWarning");
    if (emitWarning.IsFunction()) emitWarning.As<Napi::Function>().Call(process, {warning});
  } catch (...) {
    napi_value ignored;
    napi_get_and_clear_last_exception(env, &ignored);
  }
}

void JsLogger::ReportConversionFailure(napi_env env) noexcept {
  napi_handle_scope scope;
  if (napi_open_handle_scope(env, &scope) != napi_ok) return;
  try {
    ReportContained(env, Napi::RangeError::New(Napi::Env(env), "bad conversion").Value());
  } catch (...) {
    napi_value ignored;
    napi_get_and_clear_last_exception(env, &ignored);
  }
  napi_close_handle_scope(env, scope);
}

void JsLogger::DeliverQueued(napi_env env, napi_value, void* context, void* data) {
  std::unique_ptr<QueuedLine> line(static_cast<QueuedLine*>(data));
  // No environment: the queue is being emptied at teardown, and the line has nowhere to go.
  if (!env || !line) return;
  auto* installation = static_cast<Installation*>(context);
  if (!installation->logger) return;
  if (line->conversionFailed) {
    ReportConversionFailure(env);
    return;
  }
  Deliver(env, installation->logger, line->category, line->level, line->message);
}

void JsLogger::OnQueueFinalized(napi_env env, void* data, void*) {
  auto* installation = static_cast<Installation*>(data);
  if (installation->logger) napi_delete_reference(env, installation->logger);
  if (!installation->teardownRan) {
    napi_remove_env_cleanup_hook(env, OnEnvironmentTeardown, installation);
  }
  {
    JsLogger& self = Instance();
    std::lock_guard<std::mutex> lock(self.mutex_);
    if (self.current_ == installation) self.current_ = nullptr;
  }
  delete installation;
}

void JsLogger::OnEnvironmentTeardown(void* data) {
  auto* installation = static_cast<Installation*>(data);
  bool release;
  {
    JsLogger& self = Instance();
    std::lock_guard<std::mutex> lock(self.mutex_);
    // Later lines find no logger: they are filtered and dropped.
    if (self.current_ == installation) self.current_ = nullptr;
    release = !std::exchange(installation->released, true);
  }
  installation->teardownRan = true;
  if (installation->logger) {
    napi_delete_reference(installation->env, installation->logger);
    installation->logger = nullptr;
  }
  // The queue's finalizer, run by the host as the environment closes, frees the installation.
  if (release) napi_release_threadsafe_function(installation->queue, napi_tsfn_abort);
}

void ClientLogSink(int32_t level, const wchar_t* message) {
  JsLogger::Instance().LogClientLine(level, message);
}

}  // namespace Kestrine
