#include "RegistryFunctions.h"

#include <exception>
#include <string>

#include "Registry.h"
#include "common/Text.h"

namespace Kestrine {
namespace {

std::string StringArgument(const Napi::CallbackInfo& info, size_t index, const char* error) {
  if (info.Length() <= index || !info[index].IsString()) {
    throw Napi::TypeError::New(info.Env(), error);
  }
  return info[index].As<Napi::String>().Utf8Value();
}

// The registry library answers false for its own failures and reports them on standard error;
// what is left here is conversion and host failures, which script gets as an Error with their text.
Napi::Value WithUriAndPath(const Napi::CallbackInfo& info,
                           bool (*operation)(const wchar_t*, const wchar_t*)) {
  Napi::Env env = info.Env();
  const std::string uri = StringArgument(info, 0, "Argument 0 must be a string");
  const std::string path = StringArgument(info, 1, "Argument 1 must be a string");
  try {
    const std::wstring wideUri = fennor::WideFromUtf8OrBadConversion(uri);
    const std::wstring widePath = fennor::WideFromUtf8OrBadConversion(path);
    return Napi::Boolean::New(env, operation(wideUri.c_str(), widePath.c_str()));
  } catch (const std::exception& e) {
    throw Napi::Error::New(env, e.what());
  }
}

}  // namespace

Napi::Value RegisterProtocolHandler(const Napi::CallbackInfo& info) {
  return WithUriAndPath(info, RegisterUrlProtocol);
}

Napi::Value IsProtocolHandlerRegistered(const Napi::CallbackInfo& info) {
  return WithUriAndPath(info, IsUrlProtocolRegistered);
}

Napi::Value GetWendraRegionCode(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  try {
    int32_t code = 0;
    if (!ReadRegionCode(code)) throw Napi::Error::New(env, "Failed to get Wendra region code.");
    return Napi::Number::New(env, code);
  } catch (const std::exception& e) {
    throw Napi::Error::New(env, e.what());
  }
}

}  // namespace Kestrine
