#include "JsLogger.h"

#include <cwchar>

#include "LogFilter.h"
#include "LoggerDelivery.h"
#include "LoggerSettings.h"

namespace Kestrine {
namespace {

// The category of every client line. The filter recognises it by this address.
constexpr char kClientCategory[] = "orloapi";

}  // namespace

JsLogger::JsLogger() : filter_(kClientCategory) {}

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
  const Napi::ObjectReference* logger = nullptr;
  slot_.WithCurrent([&](LoggerInstallation& installation) {
    // A logger installed by another environment (a Worker) cannot be handed to this one. One of
    // this environment's stays valid after the lock: only this thread deletes it.
    if (installation.Env() == static_cast<napi_env>(env)) logger = &installation.Logger();
  });
  if (!logger) return env.Undefined();
  return logger->Value();
}

void JsLogger::Install(Napi::Env env, Napi::Value value) {
  // The current logger goes first, so a value that cannot be installed leaves none.
  slot_.Replace(nullptr);
  Napi::Object logger = value.ToObject();
  slot_.Replace(LoggerInstallation::Create(env, logger, slot_));
  ReadLoggerSettings(env, logger, filter_);
}

void JsLogger::Log(const char* category, int32_t level, const wchar_t* message) noexcept {
  try {
    if (!IsEnabled(category, level)) return;
  } catch (...) {
    return;  // no memory for the category's text: the line is lost, the caller carries on
  }
  Deliver(category, level, message);
}

bool JsLogger::IsEnabled(const char* category, int32_t level) const {
  return filter_.IsEnabled(category, level);
}

void JsLogger::Deliver(const char* category, int32_t level, const wchar_t* message) noexcept {
  const char* member = LoggerMemberFor(level);
  LoggerInstallation* onThisThread = nullptr;
  try {
    slot_.WithCurrent([&](LoggerInstallation& installation) {
      if (installation.OnScriptThread()) {
        onThisThread = &installation;  // delivered below, without the lock: script may run
      } else {
        installation.Post(category, member, message);
      }
    });
  } catch (...) {
    return;  // no memory to copy the line: it is lost, the caller carries on
  }
  if (!onThisThread) return;
  DeliverLine(onThisThread->Env(), onThisThread->Logger(), member, category, message,
              message ? std::wcslen(message) : 0);
}

void ClientLogSink(int32_t level, const wchar_t* message) {
  JsLogger::Instance().Log(kClientCategory, level, message);
}

}  // namespace Kestrine
