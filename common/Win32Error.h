// Texts for failed Win32 calls, made in one place.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace fennor {

// The system's message for a status code (FormatMessageA, system table, default language, no
// inserts), trailing line break included; empty when the system has no message for it.
std::string SystemText(DWORD code);

// "<call> failed: <system text>" without the line break; the code in decimal when the system has
// no message for it.
std::string CallFailed(std::string_view call, DWORD code);

}  // namespace fennor
