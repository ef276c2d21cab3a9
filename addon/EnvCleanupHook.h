// A Node-API environment cleanup hook with one owner: removed again when the owner goes before the
// environment does.
#pragma once

#include <napi.h>

namespace Kestrine {

class EnvCleanupHook {
 public:
  using Hook = void (*)(void* arg);

  // Throws Napi::Error when the host refuses the hook.
  EnvCleanupHook(napi_env env, Hook hook, void* arg) : env_(env), hook_(hook), arg_(arg) {
    NAPI_THROW_IF_FAILED_VOID(env, napi_add_env_cleanup_hook(env, hook, arg));
  }
  ~EnvCleanupHook() {
    if (!ran_) napi_remove_env_cleanup_hook(env_, hook_, arg_);
  }
  EnvCleanupHook(const EnvCleanupHook&) = delete;
  EnvCleanupHook& operator=(const EnvCleanupHook&) = delete;

  // Called by the hook itself: the host has run it and keeps it no longer.
  void MarkRan() { ran_ = true; }

 private:
  napi_env env_;
  Hook hook_;
  void* arg_;
  bool ran_ = false;
};

}  // namespace Kestrine
