// A DLL that records the order in which the C runtime runs its load-time initializers.
#pragma once

#ifdef CRT_ORDER_PROBE_BUILDING
#define CRT_ORDER_PROBE_API __declspec(dllexport)
#else
#define CRT_ORDER_PROBE_API __declspec(dllimport)
#endif

extern "C" {
// One letter per initializer, in the order they ran: T (.CRT$XCT), U (.CRT$XCU), C (an ordinary C++
// static constructor).
CRT_ORDER_PROBE_API const char* CrtOrderProbeSequence();
void CrtOrderProbeRecord(char letter);
}
