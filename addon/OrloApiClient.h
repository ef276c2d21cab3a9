// Declarations of the connection client's API library, OrloApi.dll. The addon imports these nine
// functions by name; the client simulator in standins/ implements the same surface.
#pragma once

#include <cstdint>

#ifdef ORLOAPI_BUILDING_LIBRARY
#define ORLOAPI_IMPORT __declspec(dllexport)
#else
#define ORLOAPI_IMPORT __declspec(dllimport)
#endif

extern "C" {

typedef struct OrloApiOpaque* OrloApiHandle;

// Log callback: native level (-5 trace ... -1 error) and a NUL-terminated UTF-16 line, valid only
// during the call.
typedef void (*OrloApiLogCallback)(int32_t level, const wchar_t* message);

ORLOAPI_IMPORT OrloApiHandle OrloApi_InitializeApi(void* reserved);
ORLOAPI_IMPORT int32_t OrloApi_SetLogger(OrloApiHandle handle, OrloApiLogCallback callback);
// The status queries fill a one-byte boolean, declared here as a plain byte: the client may write
// any value, and a C++ bool holding anything but 0 or 1 is undefined behaviour to read.
ORLOAPI_IMPORT int32_t OrloApi_IsInstalled(OrloApiHandle handle, uint8_t* installed);
ORLOAPI_IMPORT int32_t OrloApi_IsRunning(OrloApiHandle handle, uint8_t* running);
ORLOAPI_IMPORT int32_t OrloApi_IsUserSessionActive(OrloApiHandle handle, uint8_t* active);
ORLOAPI_IMPORT int32_t OrloApi_GetWendraUrl(OrloApiHandle handle, const wchar_t* key, wchar_t* buffer,
                                            uint32_t* size);
ORLOAPI_IMPORT int32_t OrloApi_InitiateTokenRequest(OrloApiHandle handle, const wchar_t* clientId,
                                                    const wchar_t* scopes, const wchar_t* redirectUri,
                                                    const wchar_t* codeChallenge, const wchar_t* state);
ORLOAPI_IMPORT int32_t OrloApi_ShowSnoozableLoginWindow(OrloApiHandle handle, int32_t parentWindow);
ORLOAPI_IMPORT int32_t OrloApi_FreeApi(OrloApiHandle handle);

}  // extern "C"
