// A client library for the isRunning() benchmark only: OrloApi.dll's nine functions answering at
// once, so the benchmark measures the addon's own cost per call rather than the simulator's
// configuration and log handling (which reads the process environment at every call).
#define ORLOAPI_BUILDING_LIBRARY
#include "OrloApiClient.h"

namespace {
struct Client {
  OrloApiLogCallback callback = nullptr;
};
}  // namespace

extern "C" {

OrloApiHandle OrloApi_InitializeApi(void*) {
  return reinterpret_cast<OrloApiHandle>(new Client);
}
int32_t OrloApi_SetLogger(OrloApiHandle handle, OrloApiLogCallback callback) {
  reinterpret_cast<Client*>(handle)->callback = callback;
  return 0;
}
int32_t OrloApi_IsInstalled(OrloApiHandle, uint8_t* installed) {
  *installed = 1;
  return 0;
}
int32_t OrloApi_IsRunning(OrloApiHandle, uint8_t* running) {
  *running = 1;
  return 0;
}
int32_t OrloApi_IsUserSessionActive(OrloApiHandle, uint8_t* active) {
  *active = 1;
  return 0;
}
int32_t OrloApi_GetWendraUrl(OrloApiHandle, const wchar_t*, wchar_t* buffer, uint32_t* size) {
  if (*size < 1) return -110;
  buffer[0] = L'\0';
  return 0;
}
int32_t OrloApi_InitiateTokenRequest(OrloApiHandle, const wchar_t*, const wchar_t*, const wchar_t*,
                                     const wchar_t*, const wchar_t*) {
  return 0;
}
int32_t OrloApi_ShowSnoozableLoginWindow(OrloApiHandle, int32_t) { return 0; }
int32_t OrloApi_FreeApi(OrloApiHandle handle) {
  delete reinterpret_cast<Client*>(handle);
  return 0;
}

}  // extern "C"
