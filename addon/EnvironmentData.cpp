#include "EnvironmentData.h"

#include <memory>

namespace Kestrine {

EnvironmentData& DataOf(Napi::Env env) {
  EnvironmentData* data = env.GetInstanceData<EnvironmentData>();
  if (data == nullptr) {
    auto owned = std::make_unique<EnvironmentData>();
    // The default finalizer deletes the data during the environment's teardown, on its own thread,
    // so each reference is released by the environment it belongs to.
    env.SetInstanceData(owned.get());
    data = owned.release();
  }
  return *data;
}

}  // namespace Kestrine
