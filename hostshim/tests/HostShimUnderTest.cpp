#include "HostShimUnderTest.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace {

std::mutex lookupsMutex;
std::vector<HostShimUnderTest::Lookup> lookups;
std::atomic<int> loadLibraryCalls{0};
std::atomic<int> freeLibraryCalls{0};

// Where concurrent lookups of one kind wait for each other while a race is staged.
class Rendezvous {
 public:
  void Arm(int callers) {
    std::lock_guard<std::mutex> lock(mutex_);
    expected_ = callers;
    arrived_ = 0;
  }
  void Disarm() {
    std::lock_guard<std::mutex> lock(mutex_);
    expected_ = 0;
    arrived_ = 0;
    everyone_.notify_all();
  }
  void Meet() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (expected_ == 0) return;
    if (++arrived_ >= expected_) everyone_.notify_all();
    everyone_.wait_for(lock, std::chrono::seconds(20),
                       [this] { return expected_ == 0 || arrived_ >= expected_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable everyone_;
  int expected_ = 0;
  int arrived_ = 0;
};
Rendezvous moduleLookups;
Rendezvous functionLookups;

using GetProcAddressFunction = FARPROC(WINAPI*)(HMODULE, LPCSTR);
using LoadLibraryAFunction = HMODULE(WINAPI*)(LPCSTR);
using FreeLibraryFunction = BOOL(WINAPI*)(HMODULE);
using GetModuleHandleAFunction = HMODULE(WINAPI*)(LPCSTR);
GetProcAddressFunction realGetProcAddress = nullptr;
GetModuleHandleAFunction realGetModuleHandleA = nullptr;
LoadLibraryAFunction realLoadLibraryA = nullptr;
FreeLibraryFunction realFreeLibrary = nullptr;

FARPROC WINAPI RecordingGetProcAddress(HMODULE module, LPCSTR name) {
  // A lookup may use every volatile register, as some GetProcAddress somewhere will: spoil the
  // floating-point ones, so that a forwarder relying on them to survive fails here, on every
  // system.
  asm volatile(
      "pcmpeqd %%xmm0, %%xmm0\n\t"
      "pcmpeqd %%xmm1, %%xmm1\n\t"
      "pcmpeqd %%xmm2, %%xmm2\n\t"
      "pcmpeqd %%xmm3, %%xmm3\n\t"
      "pcmpeqd %%xmm4, %%xmm4\n\t"
      "pcmpeqd %%xmm5, %%xmm5" ::
          : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5");
  {
    std::lock_guard<std::mutex> lock(lookupsMutex);
    // An ordinal import would come as a small integer in place of the name.
    lookups.push_back({module, HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0
                                   ? std::string(name)
                                   : "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name))});
  }
  functionLookups.Meet();
  return realGetProcAddress(module, name);
}

HMODULE WINAPI RecordingGetModuleHandleA(LPCSTR name) {
  moduleLookups.Meet();
  return realGetModuleHandleA(name);
}

HMODULE WINAPI RecordingLoadLibraryA(LPCSTR name) {
  ++loadLibraryCalls;
  return realLoadLibraryA(name);
}

BOOL WINAPI RecordingFreeLibrary(HMODULE module) {
  ++freeLibraryCalls;
  return realFreeLibrary(module);
}

void** FindImportSlot(HMODULE module, const char* dll, const char* function) {
  auto* base = reinterpret_cast<unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       descriptor->Name != 0; ++descriptor) {
    if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), dll) != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA64*>(base + descriptor->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA64*>(base + descriptor->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL64(names->u1.Ordinal)) continue;
      const auto* byName =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
        return reinterpret_cast<void**>(&slots->u1.Function);
    }
  }
  return nullptr;
}

template <typename Function>
void Reroute(HMODULE module, const char* function, Function replacement, Function* original) {
  void** slot = FindImportSlot(module, "KERNEL32.dll", function);
  if (slot == nullptr)
    throw std::runtime_error(std::string("HostShim.dll does not import ") + function);
  DWORD oldProtection = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &oldProtection))
    throw std::runtime_error("VirtualProtect failed: " + std::to_string(GetLastError()));
  *original = reinterpret_cast<Function>(*slot);
  *slot = reinterpret_cast<void*>(replacement);
  VirtualProtect(slot, sizeof *slot, oldProtection, &oldProtection);
}

}  // namespace

HostShimUnderTest& HostShimUnderTest::Get() {
  static HostShimUnderTest* instance = [] {
    // The test program's own folder comes first in the search, and the build puts the DLL there.
    HMODULE module = LoadLibraryW(L"HostShim.dll");
    if (module == nullptr)
      throw std::runtime_error("LoadLibraryW(HostShim.dll) failed: " +
                               std::to_string(GetLastError()));
    Reroute(module, "GetProcAddress", &RecordingGetProcAddress, &realGetProcAddress);
    Reroute(module, "LoadLibraryA", &RecordingLoadLibraryA, &realLoadLibraryA);
    Reroute(module, "FreeLibrary", &RecordingFreeLibrary, &realFreeLibrary);
    Reroute(module, "GetModuleHandleA", &RecordingGetModuleHandleA, &realGetModuleHandleA);
    return new HostShimUnderTest(module);
  }();
  return *instance;
}

FARPROC HostShimUnderTest::ExportAddress(const char* name) const {
  FARPROC address = GetProcAddress(module_, name);
  if (address == nullptr)
    throw std::runtime_error(std::string("HostShim.dll does not export ") + name);
  return address;
}

std::vector<HostShimUnderTest::Lookup> HostShimUnderTest::Lookups() const {
  std::lock_guard<std::mutex> lock(lookupsMutex);
  return lookups;
}

int HostShimUnderTest::LookupsOf(const std::string& name) const {
  std::lock_guard<std::mutex> lock(lookupsMutex);
  int count = 0;
  for (const Lookup& lookup : lookups) count += lookup.name == name ? 1 : 0;
  return count;
}

int HostShimUnderTest::LoadLibraryCalls() const { return loadLibraryCalls.load(); }
int HostShimUnderTest::FreeLibraryCalls() const { return freeLibraryCalls.load(); }

void HostShimUnderTest::HoldLookupsUntil(int callers) {
  moduleLookups.Arm(callers);
  functionLookups.Arm(callers);
}

void HostShimUnderTest::ReleaseLookups() {
  moduleLookups.Disarm();
  functionLookups.Disarm();
}

void* const* HostShimUnderTest::JumpSlot(FARPROC address) {
  const auto* code = reinterpret_cast<const unsigned char*>(address);
  if (code[0] != 0xFF || code[1] != 0x25) return nullptr;
  std::int32_t displacement;
  std::memcpy(&displacement, code + 2, sizeof displacement);
  return reinterpret_cast<void* const*>(code + 6 + displacement);
}
