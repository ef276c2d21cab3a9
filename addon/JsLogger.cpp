#include "JsLogger.h"

#include <cstring>
#include <cwchar>
#include <memory>
#include <thread>
#include <utility>

#include "BridgeText.h"

namespace Kestrine {
namespace {

const char kClientCategory[] = "orloapi";

// Made once: every client line has this category, and a dropped line should cost no allocation.
const RefString& ClientCategory() {
  static const RefString* const category = new RefString(kClientCategory);
  return *category;
}

// Makes deliver(member, message[, category]) for one logger. Strict code, so the member is called
// with `this` undefined; exactly two arguments; the member read afresh for every line; an absent
// member drops the line; one that is not a function is an error named after it.
const char kDeliverySource[] = R"js(
(function (logger, clientCategory) {
  'use strict';
  const names = ['logTrace', 'logInfo', 'logWarning', 'logError'];
  return function deliver(member, message, category) {
    const fn = logger[names[member]];
    if (fn === undefined) return;
    if (typeof fn !== 'function') {
      throw new TypeError("The logger's " + names[member] + ' is not a function');
    }
    fn(category === undefined ? clientCategory : category, message);
  };
})
)js";

Napi::Value DeliveryFunctionFor(Napi::Env env, Napi::Object logger) {
  napi_value factory;
  NAPI_THROW_IF_FAILED(env, napi_run_script(env, Napi::String::New(env, kDeliverySource), &factory),
                       Napi::Value());
  return Napi::Function(env, factory).Call({logger, Napi::String::New(env, kClientCategory)});
}

// The index into deliver's member names.
int MemberIndex(int32_t level) {
  switch (level) {
    case kNativeTrace:
      return 0;
    case kNativeInfo:
      return 1;
    case kNativeWarning:
      return 2;
    default:
      return 3;
  }
}

void ClearPendingException(napi_env env) {
  napi_value ignored;
  napi_get_and_clear_last_exception(env, &ignored);
}

}  // namespace

// One installed script logger: the reference to it, the script strings every line needs, and the
// queue that carries lines from other threads to its environment's script thread. Everything
// Node-API in it is created, used and deleted on that thread; other threads only queue lines and
// release the queue.
struct JsLogger::Installation {
  napi_env env = nullptr;
  napi_ref logger = nullptr;
  // deliver(member, message[, category]): a script function, bound to this logger, that looks up
  // the member for the line and calls it. Doing the lookup and the call in script lets the engine
  // cache them; from native code each property read is a slow generic lookup, and a line would cost
  // several times the call it makes.
  napi_ref deliver = nullptr;
  napi_threadsafe_function queue = nullptr;
  std::thread::id scriptThread;
  bool released = false;     // the queue has been released; guarded by JsLogger::mutex_
  bool teardownRan = false;  // the environment is going away; script thread only
};

// A message as it arrived: UTF-16 from the client library (checked, not converted: a script string
// is made from it directly) or UTF-8.
struct JsLogger::Line {
  const wchar_t* utf16 = nullptr;
  size_t utf16Length = 0;
  const char* utf8 = nullptr;
  size_t utf8Length = 0;
};

struct JsLogger::QueuedLine {
  std::string category;
  bool clientCategory = false;
  int32_t level = 0;
  std::wstring utf16;
  std::string utf8;
  bool isUtf16 = false;
  bool conversionFailed = false;

  Line View() const {
    Line line;
    if (isUtf16) {
      line.utf16 = utf16.c_str();
      line.utf16Length = utf16.size();
    } else {
      line.utf8 = utf8.c_str();
      line.utf8Length = utf8.size();
    }
    return line;
  }
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
  // The previous logger's references are deleted by its queue's finalizer, on its own script
  // thread, once the lines already queued for it have been delivered.
  if (releasePrevious) napi_release_threadsafe_function(previous->queue, napi_tsfn_release);

  Napi::Object object = value.ToObject();

  auto installation = std::make_unique<Installation>();
  installation->env = env;
  installation->scriptThread = std::this_thread::get_id();
  try {
    NAPI_THROW_IF_FAILED_VOID(env, napi_create_reference(env, object, 1, &installation->logger));
    Napi::Value deliver = DeliveryFunctionFor(env, object);
    NAPI_THROW_IF_FAILED_VOID(env, napi_create_reference(env, deliver, 1, &installation->deliver));
    NAPI_THROW_IF_FAILED_VOID(
        env, napi_create_threadsafe_function(env, nullptr, nullptr,
                                             Napi::String::New(env, "JsLogger"), 0, 1,
                                             installation.get(), OnQueueFinalized,
                                             installation.get(), DeliverQueued,
                                             &installation->queue));
  } catch (...) {
    DeleteReferences(env, installation.get());
    throw;
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
    FilterChanged();
  }

  Napi::Value categories = logger.Get("categoryFilter");
  if (categories.IsUndefined()) throw Napi::Error::New(env, "Invalid Logger");
  {
    std::lock_guard<std::mutex> lock(mutex_);
    filter_.categoryFilter.clear();
    FilterChanged();
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
    FilterChanged();
  }
}

void JsLogger::FilterChanged() {
  clientThreshold_.store(filter_.ThresholdFor(ClientCategory()), std::memory_order_relaxed);
}

int32_t JsLogger::ToNativeLevel(Napi::Value value) {
  if (value.IsUndefined()) return kNativeTrace;
  return ScriptLevelToNative(value.ToNumber().Int32Value());
}

void JsLogger::Log(const char* category, int32_t level, const char* message) noexcept {
  try {
    const RefString key(category);
    Line line;
    line.utf8 = message ? message : "";
    line.utf8Length = std::strlen(line.utf8);
    Route(key, false, level, line);
  } catch (...) {
    // Out of memory for the category: the line is lost, the caller carries on.
  }
}

void JsLogger::LogClientLine(int32_t level, const wchar_t* message) noexcept {
  try {
    if (level < clientThreshold_.load(std::memory_order_relaxed)) return;
    Line line;
    line.utf16 = message ? message : L"";
    line.utf16Length = std::wcslen(line.utf16);
    Route(ClientCategory(), true, level, line);
  } catch (...) {
  }
}

void JsLogger::Route(const RefString& category, bool clientCategory, int32_t level,
                     const Line& line) noexcept {
  try {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!filter_.IsEnabled(category, level)) return;
    Installation* installation = current_;
    if (!installation) return;
    const bool wellFormed =
        !line.utf16 || bridge_text::IsWellFormedUtf16(line.utf16, line.utf16Length);

    if (installation->scriptThread == std::this_thread::get_id()) {
      // On the logger's own script thread the installation cannot go away under us: its finalizer
      // and teardown hook run on this thread too.
      lock.unlock();
      if (!wellFormed) {
        ReportConversionFailure(installation->env);
        return;
      }
      Deliver(installation->env, installation, category.c_str(), category.length(),
              clientCategory, level, line);
      return;
    }

    // Another thread: copy the line and queue it while the lock keeps the queue alive.
    auto queued = std::make_unique<QueuedLine>();
    queued->category.assign(category.c_str(), category.length());
    queued->clientCategory = clientCategory;
    queued->level = level;
    queued->conversionFailed = !wellFormed;
    queued->isUtf16 = line.utf16 != nullptr;
    if (wellFormed && line.utf16) queued->utf16.assign(line.utf16, line.utf16Length);
    if (line.utf8) queued->utf8.assign(line.utf8, line.utf8Length);
    if (napi_call_threadsafe_function(installation->queue, queued.get(), napi_tsfn_nonblocking) ==
        napi_ok) {
      queued.release();
    }
  } catch (...) {
    // Out of memory while filtering or copying: the line is lost, the caller carries on.
  }
}

void JsLogger::Deliver(napi_env env, Installation* installation, const char* category,
                       size_t categoryLength, bool clientCategory, int32_t level,
                       const Line& line) noexcept {
  napi_handle_scope scope;
  if (napi_open_handle_scope(env, &scope) != napi_ok) return;
  try {
    napi_value deliver, args[3], undefined, result;
    size_t argc = 2;
    NAPI_THROW_IF_FAILED_VOID(env, napi_get_reference_value(env, installation->deliver, &deliver));
    NAPI_THROW_IF_FAILED_VOID(env, napi_create_int32(env, MemberIndex(level), &args[0]));
    if (line.utf16) {
      static_assert(sizeof(wchar_t) == sizeof(char16_t), "the client library's text is UTF-16");
      NAPI_THROW_IF_FAILED_VOID(
          env, napi_create_string_utf16(env, reinterpret_cast<const char16_t*>(line.utf16),
                                        line.utf16Length, &args[1]));
    } else {
      NAPI_THROW_IF_FAILED_VOID(
          env, napi_create_string_utf8(env, line.utf8, line.utf8Length, &args[1]));
    }
    if (!clientCategory) {
      NAPI_THROW_IF_FAILED_VOID(env, napi_create_string_utf8(env, category, categoryLength, &args[2]));
      argc = 3;
    }
    NAPI_THROW_IF_FAILED_VOID(env, napi_get_undefined(env, &undefined));
    NAPI_THROW_IF_FAILED_VOID(env, napi_call_function(env, undefined, deliver, argc, args, &result));
  } catch (const Napi::Error& error) {
    ReportContained(env, error.Value());
  } catch (...) {
    ClearPendingException(env);
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
    ClearPendingException(env);
  }
}

void JsLogger::ReportConversionFailure(napi_env env) noexcept {
  napi_handle_scope scope;
  if (napi_open_handle_scope(env, &scope) != napi_ok) return;
  try {
    ReportContained(env, Napi::RangeError::New(Napi::Env(env), "bad conversion").Value());
  } catch (...) {
    ClearPendingException(env);
  }
  napi_close_handle_scope(env, scope);
}

void JsLogger::DeleteReferences(napi_env env, Installation* installation) {
  napi_ref* refs[] = {&installation->logger, &installation->deliver};
  for (napi_ref* ref : refs) {
    if (*ref) napi_delete_reference(env, *ref);
    *ref = nullptr;
  }
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
  Deliver(env, installation, line->category.c_str(), line->category.size(), line->clientCategory,
          line->level, line->View());
}

void JsLogger::OnQueueFinalized(napi_env env, void* data, void*) {
  auto* installation = static_cast<Installation*>(data);
  DeleteReferences(env, installation);
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
  DeleteReferences(installation->env, installation);
  // The queue's finalizer, run by the host as the environment closes, frees the installation.
  if (release) napi_release_threadsafe_function(installation->queue, napi_tsfn_abort);
}

void ClientLogSink(int32_t level, const wchar_t* message) {
  JsLogger::Instance().LogClientLine(level, message);
}

}  // namespace Kestrine
