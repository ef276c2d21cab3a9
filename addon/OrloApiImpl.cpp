#include "OrloApiImpl.h"

#include <cwchar>
#include <optional>
#include <string>

#include "EnvironmentData.h"
#include "ErrorCodes.h"
#include "JsLogger.h"
#include "common/Text.h"

namespace Kestrine {
namespace {

constexpr wchar_t kAuthUrlKey[] = L"Varka.FederatedAuth.Url";
constexpr uint32_t kAuthUrlCapacity = 1024;

[[noreturn]] void ThrowClientError(Napi::Env env, const char* prefix, int32_t code) {
  throw Napi::Error::New(env, ClientErrorMessage(prefix, code));
}

// The property's text exactly as script holds it, code unit for code unit: no detour through
// UTF-8, which would mangle lone surrogates. A value that is not a string fails in the host with
// its TypeError.
std::wstring ReadUtf16Property(const Napi::Object& object, const char* name) {
  std::u16string text = object.Get(name).As<Napi::String>().Utf16Value();
  return std::wstring(text.begin(), text.end());
}

}  // namespace

Napi::Object OrloApiImpl::Init(Napi::Env env, Napi::Object exports) {
  Napi::HandleScope scope(env);
  Napi::Function constructor =
      DefineClass(env, "OrloApi",
                  {
                      InstanceMethod<&OrloApiImpl::Initialize>("initialize"),
                      InstanceMethod<&OrloApiImpl::IsInstalled>("isInstalled"),
                      InstanceMethod<&OrloApiImpl::IsRunning>("isRunning"),
                      InstanceMethod<&OrloApiImpl::IsUserSessionActive>("isUserSessionActive"),
                      InstanceMethod<&OrloApiImpl::InitiateTokenRequest>("initiateTokenRequest"),
                      InstanceMethod<&OrloApiImpl::GetAuthUrl>("getAuthUrl"),
                      InstanceMethod<&OrloApiImpl::ShowSignInDialog>("showSignInDialog"),
                  });
  exports.Set("OrloApi", constructor);
  // One reference per environment, not one process-wide slot: with worker threads several
  // environments define the class, and a shared slot would be overwritten by the next one (deleting
  // the previous environment's reference from the wrong thread) or deleted by whichever environment
  // ends first. Each environment's data releases its own reference at its teardown.
  Constructor(env) = Napi::Persistent(constructor);
  return exports;
}

Napi::FunctionReference& OrloApiImpl::Constructor(Napi::Env env) {
  return DataOf(env).orloApiConstructor;
}

OrloApiImpl::OrloApiImpl(const Napi::CallbackInfo& info) : Napi::ObjectWrap<OrloApiImpl>(info) {}

OrloApiImpl::~OrloApiImpl() {
  if (handle != nullptr) {
    OrloApi_FreeApi(handle);
    handle = nullptr;
  }
}

void OrloApiImpl::CheckInitialized(Napi::Env env) const {
  if (handle == nullptr) throw Napi::Error::New(env, "OrloApi is not initialized.");
}

void OrloApiImpl::Initialize(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  if (handle != nullptr) throw Napi::Error::New(env, "OrloApi already initialized.");
  handle = OrloApi_InitializeApi(nullptr);
  if (handle == nullptr) throw Napi::Error::New(env, "OrloApi initialization failed.");
  // The handle stays even if installing the callback fails: it is ours to release, and the
  // client's queries still work without its log lines.
  int32_t code = OrloApi_SetLogger(handle, ClientLogSink);
  if (code != 0) ThrowClientError(env, "OrloApi_SetLogger failed with error code ", code);
}

Napi::Value OrloApiImpl::CallStatusQuery(const Napi::CallbackInfo& info, StatusQuery query) {
  Napi::Env env = info.Env();
  CheckInitialized(env);
  // Read as a byte, never as a bool: a client that writes 2 or 255 must give true, not undefined
  // behaviour in the host.
  uint8_t answer = 0;
  int32_t code = query(handle, &answer);
  if (code != 0) ThrowClientError(env, "OrloApi function failed with error code ", code);
  return Napi::Boolean::New(env, answer != 0);
}

Napi::Value OrloApiImpl::IsInstalled(const Napi::CallbackInfo& info) {
  return CallStatusQuery(info, OrloApi_IsInstalled);
}

Napi::Value OrloApiImpl::IsRunning(const Napi::CallbackInfo& info) {
  return CallStatusQuery(info, OrloApi_IsRunning);
}

Napi::Value OrloApiImpl::IsUserSessionActive(const Napi::CallbackInfo& info) {
  return CallStatusQuery(info, OrloApi_IsUserSessionActive);
}

void OrloApiImpl::InitiateTokenRequest(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  CheckInitialized(env);
  if (info.Length() < 1) throw Napi::TypeError::New(env, "Argument 0 must be an object");
  // Each property is read and converted before the next is touched, so the first bad one stops
  // the call and later getters never run.
  Napi::Object request = info[0].As<Napi::Object>();
  std::wstring clientId = ReadUtf16Property(request, "clientId");
  std::wstring scopes = ReadUtf16Property(request, "scopes");
  std::wstring redirectUri = ReadUtf16Property(request, "redirectUri");
  std::wstring codeChallenge = ReadUtf16Property(request, "codeChallenge");
  std::wstring state = ReadUtf16Property(request, "state");
  int32_t code =
      OrloApi_InitiateTokenRequest(handle, clientId.c_str(), scopes.c_str(), redirectUri.c_str(),
                                   codeChallenge.c_str(), state.c_str());
  if (code != 0)
    ThrowClientError(env, "OrloApi_InitiateTokenRequest failed with error code ", code);
}

Napi::Value OrloApiImpl::GetAuthUrl(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  CheckInitialized(env);
  // Zero-filled, so a client that writes its text without a terminator still leaves one behind
  // it, unless it fills the whole buffer.
  wchar_t buffer[kAuthUrlCapacity] = {};
  uint32_t size = kAuthUrlCapacity;
  int32_t code = OrloApi_GetWendraUrl(handle, kAuthUrlKey, buffer, &size);
  if (code != 0) ThrowClientError(env, "OrloApi_GetWendraUrl failed with error code ", code);

  size_t length = wcsnlen(buffer, kAuthUrlCapacity);
  if (length == kAuthUrlCapacity) {
    throw Napi::Error::New(env, "OrloApi_GetWendraUrl returned a URL without a terminator");
  }
  std::optional<std::string> utf8 = fennor::Utf8FromUtf16(std::wstring_view(buffer, length));
  if (!utf8) {
    throw Napi::Error::New(env, "OrloApi_GetWendraUrl returned a URL that is not valid UTF-16");
  }
  return Napi::String::New(env, *utf8);
}

void OrloApiImpl::ShowSignInDialog(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  CheckInitialized(env);
  int32_t parentWindow = 0;
  if (info.Length() >= 1) {
    int64_t value =
        info[0].As<Napi::Object>().Get("parentWindowHandle").As<Napi::Number>().Int64Value();
    // Window handles are 32-bit values even in 64-bit processes: keep the low half.
    parentWindow = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
  }
  int32_t code = OrloApi_ShowSnoozableLoginWindow(handle, parentWindow);
  if (code != 0) {
    ThrowClientError(env, "OrloApi_ShowSnoozableLoginWindow failed with error code ", code);
  }
}

}  // namespace Kestrine
