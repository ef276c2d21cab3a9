// HostShim.dll binds every Node-API export to the same-named function of the executable that hosts
// the process. The exports themselves are the delay-load thunks of an import of this DLL's own name
// (see CMakeLists.txt); all this file supplies is where that import really lives: the host
// executable, whatever it is called.

#include <windows.h>
// delayimp.h needs the declarations of windows.h first.
#include <delayimp.h>

namespace {

constexpr char kOwnModuleName[] = "HostShim.dll";

// ASCII-only, case-insensitive. The first resolution runs under the loader lock (the addon calls
// napi_module_register from its static initialisers), so this must take no lock and must not depend
// on the locale of whichever C runtime the process happens to have set up.
bool EqualsIgnoringAsciiCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char ca = *a;
    char cb = *b;
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<char>(cb - 'A' + 'a');
    if (ca != cb) return false;
    if (ca == '\0') return true;
  }
}

// Asked before the helper would load "HostShim.dll": answer the host executable instead. Loading
// ourselves would resolve each export to its own thunk and the first call would never return.
// GetModuleHandleA(nullptr) takes no reference and is allowed under the loader lock. Every other
// notification gets the helper's default processing (null).
FARPROC WINAPI ResolveAgainstHost(unsigned notification, PDelayLoadInfo info) {
  if (notification == dliNotePreLoadLibrary && info != nullptr && info->szDll != nullptr &&
      EqualsIgnoringAsciiCase(info->szDll, kOwnModuleName)) {
    return reinterpret_cast<FARPROC>(GetModuleHandleA(nullptr));
  }
  return nullptr;
}

}  // namespace

// The helper reads this pointer on every resolution; mingw-w64 declares it, non-const and extern
// "C", in delayimp.h.
PfnDliHook __pfnDliNotifyHook2 = ResolveAgainstHost;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  // Nothing here cares about threads; sparing the loader the per-thread callouts matters because
  // hosts like node start and stop worker threads freely.
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
