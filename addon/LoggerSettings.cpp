#include "LoggerSettings.h"

#include <string>

#include "RefString.h"

namespace Kestrine {

int32_t ToNativeLevel(Napi::Value value) {
  if (value.IsUndefined()) return kNativeTrace;
  return ScriptLevelToNative(value.ToNumber().Int32Value());
}

void ReadLoggerSettings(Napi::Env env, Napi::Object logger, SharedLogFilter& filter) {
  filter.SetMinLevel(ToNativeLevel(logger.Get("minLevel")));

  Napi::Value categories = logger.Get("categoryFilter");
  if (categories.IsUndefined()) throw Napi::Error::New(env, "Invalid Logger");
  filter.ClearCategories();

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
    filter.SetCategory(RefString(category.data(), category.size()), level);
  }
}

}  // namespace Kestrine
