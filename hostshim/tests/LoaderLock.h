#pragma once

#include <windows.h>
#include <winternl.h>

// Whether the calling thread holds the loader lock, that is, runs inside a DLL's attach or detach
// (static initialisers included). No documented function answers this: the process environment
// block of a 64-bit process points at the lock, a critical section, at offset 0x110 on Windows and
// on Wine alike.
inline bool LoaderLockHeldByThisThread() {
  const auto* peb = reinterpret_cast<const unsigned char*>(NtCurrentTeb()->ProcessEnvironmentBlock);
  const auto* lock = *reinterpret_cast<RTL_CRITICAL_SECTION* const*>(peb + 0x110);
  return lock != nullptr && lock->OwningThread == reinterpret_cast<HANDLE>(
                                                      static_cast<ULONG_PTR>(GetCurrentThreadId()));
}
