#pragma once

#include <windows.h>

#include <string>
#include <vector>

// HostShim.dll loaded into the test program, with its own imports of GetProcAddress, LoadLibraryA
// and FreeLibrary routed through recorders. Those are the calls through which the delay-load helper
// inside it finds host functions and would load or release modules, so the records show what was
// looked up, where, and whether anything was loaded.
class HostShimUnderTest {
 public:
  struct Lookup {
    HMODULE module;
    std::string name;
  };

  // Loads and instruments the DLL on first use; throws std::runtime_error naming a failed call.
  static HostShimUnderTest& Get();

  HMODULE Module() const { return module_; }

  // The address of an export, as a caller that imports it would see it.
  template <typename Function>
  Function Export(const char* name) const {
    return reinterpret_cast<Function>(ExportAddress(name));
  }
  FARPROC ExportAddress(const char* name) const;

  std::vector<Lookup> Lookups() const;
  int LookupsOf(const std::string& name) const;
  int LoadLibraryCalls() const;
  int FreeLibraryCalls() const;

  // Until it is disarmed, makes each lookup of the host module's handle and each lookup of a
  // function wait (up to 20 s) until `callers` of them are in progress at once, so that
  // that many first calls resolve truly at the same time.
  void HoldLookupsUntil(int callers);
  void ReleaseLookups();

  // Where the export at `address` jumps through: its code must be a single `jmp *slot(%rip)`;
  // null if it is anything else.
  static void* const* JumpSlot(FARPROC address);

 private:
  explicit HostShimUnderTest(HMODULE module) : module_(module) {}
  HMODULE module_;
};
