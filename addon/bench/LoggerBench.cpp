// Native half of the logger bridge benchmark (logger_bench.js): an addon that carries the bridge
// (its own process-wide JsLogger) and times, in native loops, the bridge against its baselines.
#include <napi.h>

#include <chrono>
#include <cstdint>

#include "JsLogger.h"

namespace {

using Sink = void (*)(int32_t, const wchar_t*);

const wchar_t kLine[] = L"OrloApi: session state refreshed for the signed-in user";

void EmptySink(int32_t, const wchar_t*) {}

template <typename Body>
double Nanoseconds(Body body) {
  const auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
}

double TimeSink(Sink target, int32_t level, uint32_t count) {
  // Called through a volatile pointer so that both loops make the same indirect call.
  volatile Sink sink = target;
  return Nanoseconds([&] {
    for (uint32_t i = 0; i < count; ++i) sink(level, kLine);
  });
}

// sinkLoop(count, level, empty): ns for `count` calls of ClientLogSink (or of an empty function
// through the same pointer when `empty` is true).
Napi::Value SinkLoop(const Napi::CallbackInfo& info) {
  const uint32_t count = info[0].As<Napi::Number>().Uint32Value();
  const int32_t level = info[1].As<Napi::Number>().Int32Value();
  const bool empty = info[2].ToBoolean();
  return Napi::Number::New(info.Env(),
                           TimeSink(empty ? EmptySink : Kestrine::ClientLogSink, level, count));
}

// callLoop(fn, count, freshMessage): ns for `count` napi_call_function calls of fn with two strings
// and an undefined receiver. The strings are made once (the baseline), or the message is made anew
// for every call (the least any delivery of a line has to do: a line is a new string).
Napi::Value CallLoop(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  napi_value fn = info[0];
  const uint32_t count = info[1].As<Napi::Number>().Uint32Value();
  const bool freshMessage = info[2].ToBoolean();
  napi_value args[] = {Napi::String::New(env, "orloapi"),
                       Napi::String::New(env, reinterpret_cast<const char16_t*>(kLine))};
  napi_value undefined = env.Undefined();
  return Napi::Number::New(env, Nanoseconds([&] {
    for (uint32_t i = 0; i < count; ++i) {
      napi_handle_scope scope = nullptr;
      if (freshMessage) {
        napi_open_handle_scope(env, &scope);
        napi_create_string_utf16(env, reinterpret_cast<const char16_t*>(kLine),
                                 sizeof(kLine) / sizeof(kLine[0]) - 1, &args[1]);
      }
      napi_value result;
      napi_call_function(env, undefined, fn, 2, args, &result);
      if (scope) napi_close_handle_scope(env, scope);
    }
  }));
}

Napi::Object Init(Napi::Env env, Napi::Object exports) {
  exports.Set("sinkLoop", Napi::Function::New(env, SinkLoop));
  exports.Set("callLoop", Napi::Function::New(env, CallLoop));
  exports.DefineProperty(Napi::PropertyDescriptor::Accessor(
      env, exports, "logger", Kestrine::JsLogger::GetLogger, Kestrine::JsLogger::SetLogger));
  return exports;
}

}  // namespace

NODE_API_MODULE(addon_logger_bench, Init)
