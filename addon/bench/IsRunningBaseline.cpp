// The baseline of the isRunning() benchmark: an addon built like orloclient-addon (same compiler,
// flags, node-addon-api, Node-API through HostShim) whose class has one method that does nothing
// but answer a boolean. What isRunning() costs beyond it is the addon's own work and the client
// call.
#include <napi.h>

namespace {

class Bare : public Napi::ObjectWrap<Bare> {
 public:
  static Napi::Object Init(Napi::Env env, Napi::Object exports) {
    Napi::Function constructor = DefineClass(env, "Bare", {InstanceMethod<&Bare::Answer>("answer")});
    exports.Set("Bare", constructor);
    return exports;
  }
  explicit Bare(const Napi::CallbackInfo& info) : Napi::ObjectWrap<Bare>(info) {}

  Napi::Value Answer(const Napi::CallbackInfo& info) { return Napi::Boolean::New(info.Env(), true); }
};

Napi::Object Init(Napi::Env env, Napi::Object exports) { return Bare::Init(env, exports); }

}  // namespace

NODE_API_MODULE(addon_is_running_baseline, Init)
