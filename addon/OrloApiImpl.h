// The native side of the script class OrloApi: one client handle per script object.
#pragma once

#include <napi.h>

#include "OrloApiClient.h"

namespace Kestrine {

struct OrloApiImpl : public Napi::ObjectWrap<OrloApiImpl> {
  // Defines the class OrloApi on the exports and keeps its constructor alive for the environment.
  static Napi::Object Init(Napi::Env env, Napi::Object exports);
  // The environment's reference to the class constructor.
  static Napi::FunctionReference& Constructor(Napi::Env env);

  explicit OrloApiImpl(const Napi::CallbackInfo& info);
  ~OrloApiImpl() override;

  // Script methods.
  void Initialize(const Napi::CallbackInfo& info);
  Napi::Value IsInstalled(const Napi::CallbackInfo& info);
  Napi::Value IsRunning(const Napi::CallbackInfo& info);
  Napi::Value IsUserSessionActive(const Napi::CallbackInfo& info);
  void InitiateTokenRequest(const Napi::CallbackInfo& info);
  Napi::Value GetAuthUrl(const Napi::CallbackInfo& info);
  void ShowSignInDialog(const Napi::CallbackInfo& info);

  using StatusQuery = int32_t (*)(OrloApiHandle, uint8_t*);

  void CheckInitialized(Napi::Env env) const;
  Napi::Value CallStatusQuery(const Napi::CallbackInfo& info, StatusQuery query);

  // Set once by initialize, released by the destructor.
  OrloApiHandle handle = nullptr;
};

}  // namespace Kestrine
