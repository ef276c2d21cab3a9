// HostShim.dll inside a fake host: this test program exports a few Node-API functions (FakeHost.cpp)
// and lacks the rest. ctest runs each case in a process of its own; a case that checks a first call
// uses exports that no other case calls, so it still sees that first call when the whole program
// runs in one process.

#include <windows.h>
// delayimp.h needs the declarations of windows.h first.
#include <delayimp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "FakeHost.h"
#include "FakeHostArgumentProbe.h"
#include "HostShimUnderTest.h"
#include "LoaderLock.h"

namespace {

using CreateFromDouble = napi_status(NAPI_CDECL*)(napi_env, double, napi_value*);
using CreateFromInt32 = napi_status(NAPI_CDECL*)(napi_env, int32_t, napi_value*);
using CreateFromUint32 = napi_status(NAPI_CDECL*)(napi_env, uint32_t, napi_value*);
using GetGlobal = napi_status(NAPI_CDECL*)(napi_env, napi_value*);
using GetBoolean = napi_status(NAPI_CDECL*)(napi_env, bool, napi_value*);

HMODULE HostExecutable() { return GetModuleHandleW(nullptr); }

std::uint64_t Bits(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

double FromBits(std::uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

TEST(HostShimForwarding, FirstCallBindsTheExportToTheHostFunction) {
  HostShimUnderTest& shim = HostShimUnderTest::Get();
  const auto createInt32 = shim.Export<CreateFromInt32>("napi_create_int32");
  ASSERT_EQ(shim.LookupsOf("napi_create_int32"), 0);

  napi_value result = nullptr;
  ASSERT_EQ(createInt32(fakehost::Env(), -7, &result), napi_ok);
  EXPECT_EQ(result, fakehost::TokenFor(static_cast<std::uint32_t>(-7)));
  EXPECT_EQ(fakehost::Int32Calls(), 1);

  // Looked up by name in the executable's exports; the DLL of the import's name is never loaded.
  int lookups = 0;
  for (const auto& lookup : shim.Lookups()) {
    EXPECT_EQ(lookup.module, HostExecutable()) << lookup.name;
    lookups += lookup.name == "napi_create_int32" ? 1 : 0;
  }
  EXPECT_EQ(lookups, 1);
  EXPECT_EQ(shim.LoadLibraryCalls(), 0);

  // From now on the export is one indirect jump, straight into the host's function.
  void* const* slot = HostShimUnderTest::JumpSlot(reinterpret_cast<FARPROC>(createInt32));
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(*slot, reinterpret_cast<void*>(&napi_create_int32));
  ASSERT_EQ(createInt32(fakehost::Env(), 41, &result), napi_ok);
  EXPECT_EQ(result, fakehost::TokenFor(41));
  EXPECT_EQ(fakehost::Int32Calls(), 2);
  EXPECT_EQ(shim.LookupsOf("napi_create_int32"), 1);
}

TEST(HostShimForwarding, FirstCallUnderTheLoaderLockReachesTheHost) {
  HostShimUnderTest& shim = HostShimUnderTest::Get();
  // The witness must tell the two situations apart.
  ASSERT_FALSE(LoaderLockHeldByThisThread());
  ASSERT_EQ(fakehost::Registrations().calls, 0);

  // The probe registers a module from its static initialisers, through its import library.
  HMODULE probe = LoadLibraryW(L"hostshim_probe.dll");
  ASSERT_NE(probe, nullptr) << "LoadLibraryW(hostshim_probe.dll) failed: " << GetLastError();
  using ProbeModule = const napi_module* (*)();
  const auto probeModule =
      reinterpret_cast<ProbeModule>(GetProcAddress(probe, "HostShimProbeModule"));
  ASSERT_NE(probeModule, nullptr);

  const fakehost::Registration registration = fakehost::Registrations();
  EXPECT_EQ(registration.calls, 1);
  EXPECT_TRUE(registration.underLoaderLock);
  EXPECT_EQ(registration.module, probeModule());
  EXPECT_EQ(shim.LookupsOf("napi_module_register"), 1);
  EXPECT_EQ(shim.LoadLibraryCalls(), 0);
}

// The tail of the delay-load thunks keeps the integer argument registers but not xmm0-xmm3, and the
// helper zeroes xmm0: each case makes the first call of its export.
TEST(HostShimForwarding, DoublesSurviveTheFirstCall) {
  struct Case {
    const char* exportName;
    std::vector<std::uint64_t> (*received)();
  };
  const Case cases[] = {
      {"napi_create_double", &fakehost::DoublesReceived},
      {"napi_create_date", &fakehost::DatesReceived},
  };
  const double values[] = {1766448000123.0,
                           -0.0,
                           std::numeric_limits<double>::denorm_min(),
                           -std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::infinity(),
                           FromBits(0x7FF8DEADBEEF0001ull)};  // a NaN with a payload
  HostShimUnderTest& shim = HostShimUnderTest::Get();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exportName);
    ASSERT_EQ(shim.LookupsOf(c.exportName), 0) << "not a first call";
    const auto create = shim.Export<CreateFromDouble>(c.exportName);
    std::vector<std::uint64_t> expected;
    for (double value : values) {
      napi_value result = nullptr;
      ASSERT_EQ(create(fakehost::Env(), value, &result), napi_ok);
      EXPECT_EQ(result, fakehost::TokenFor(Bits(value)));
      expected.push_back(Bits(value));
    }
    EXPECT_EQ(c.received(), expected);
    EXPECT_EQ(shim.LookupsOf(c.exportName), 1);
  }
}

TEST(HostShimForwarding, EveryArgumentRegisterAndTheStackSurviveTheFirstCall) {
  HostShimUnderTest& shim = HostShimUnderTest::Get();
  ASSERT_EQ(shim.LookupsOf("napi_adjust_external_memory"), 0) << "not a first call";
  const auto probe = shim.Export<fakehost::ArgumentProbeFunction>("napi_adjust_external_memory");

  const double result = probe(1.25, -2.5, 3.0e-300, 4.0e300, -0x123456789ABLL, 6.125);
  const fakehost::ProbeArguments received = fakehost::ArgumentProbeReceived();
  EXPECT_EQ(received.calls, 1);
  EXPECT_EQ(Bits(received.xmm0), Bits(1.25));
  EXPECT_EQ(Bits(received.xmm1), Bits(-2.5));
  EXPECT_EQ(Bits(received.xmm2), Bits(3.0e-300));
  EXPECT_EQ(Bits(received.xmm3), Bits(4.0e300));
  EXPECT_EQ(received.stack5, -0x123456789ABLL);
  EXPECT_EQ(Bits(received.stack6), Bits(6.125));
  EXPECT_EQ(Bits(result), Bits(1.25 + -2.5));
}

TEST(HostShimForwarding, RacingFirstCallsAllLandInTheHost) {
  constexpr int kThreads = 32;
  HostShimUnderTest& shim = HostShimUnderTest::Get();
  ASSERT_EQ(shim.LookupsOf("napi_create_uint32"), 0) << "not a first call";
  const auto createUint32 = shim.Export<CreateFromUint32>("napi_create_uint32");

  std::vector<napi_status> statuses(kThreads, napi_generic_failure);
  std::vector<napi_value> results(kThreads, nullptr);
  shim.HoldLookupsUntil(kThreads);
  {
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back(
          [&, i] { statuses[i] = createUint32(fakehost::Env(), 1000u + i, &results[i]); });
    }
    for (std::thread& thread : threads) thread.join();
  }
  shim.ReleaseLookups();

  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(statuses[i], napi_ok) << "thread " << i;
    EXPECT_EQ(results[i], fakehost::TokenFor(1000u + i)) << "thread " << i;
  }
  EXPECT_EQ(fakehost::Uint32Calls(), kThreads);
  // Every thread was inside its own resolution at the same moment: nothing serialises them.
  EXPECT_EQ(shim.LookupsOf("napi_create_uint32"), kThreads);
  EXPECT_EQ(*HostShimUnderTest::JumpSlot(reinterpret_cast<FARPROC>(createUint32)),
            reinterpret_cast<void*>(&napi_create_uint32));
  // Run alone, the threads also raced for the host's handle (each losing thread's handle is then
  // released by the helper, harmless for an executable); every one of them got the executable.
  for (const auto& lookup : shim.Lookups())
    EXPECT_EQ(lookup.module, HostExecutable()) << lookup.name;
  EXPECT_EQ(shim.LoadLibraryCalls(), 0);
}

// What a host with a handler for the delay-load exception sees when HostShim cannot find a called
// function. The handler answers a replacement through the record's pfnCur, which the helper then
// calls in the missing function's place.
struct MissingFunctionReport {
  int raised = 0;
  DWORD parameters = 0;
  bool byName = false;
  std::string name;
  std::string dll;
  HMODULE module = nullptr;
};
MissingFunctionReport missingFunctionReport;
napi_env replacementEnv = nullptr;

napi_status NAPI_CDECL ReplacementGetGlobal(napi_env env, napi_value* result) {
  replacementEnv = env;
  *result = fakehost::TokenFor(0x610BA1);
  return napi_generic_failure;
}

LONG CALLBACK ReportMissingFunction(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  if (record.ExceptionCode != 0xC06D007F) return EXCEPTION_CONTINUE_SEARCH;
  MissingFunctionReport& report = missingFunctionReport;
  ++report.raised;
  report.parameters = record.NumberParameters;
  if (record.NumberParameters < 1) return EXCEPTION_CONTINUE_SEARCH;
  auto* info = reinterpret_cast<DelayLoadInfo*>(record.ExceptionInformation[0]);
  report.byName = info->dlp.fImportByName != 0;
  if (report.byName) report.name = info->dlp.szProcName;
  report.dll = info->szDll;
  report.module = info->hmodCur;
  info->pfnCur = reinterpret_cast<FARPROC>(&ReplacementGetGlobal);
  return EXCEPTION_CONTINUE_EXECUTION;
}

TEST(HostShimForwarding, CalledMissingFunctionRaisesProcedureNotFound) {
  HostShimUnderTest& shim = HostShimUnderTest::Get();
  ASSERT_EQ(GetProcAddress(HostExecutable(), "napi_get_global"), nullptr);
  const auto getGlobal = shim.Export<GetGlobal>("napi_get_global");

  PVOID handler = AddVectoredExceptionHandler(1, &ReportMissingFunction);
  ASSERT_NE(handler, nullptr);
  napi_value result = nullptr;
  const napi_status status = getGlobal(fakehost::Env(), &result);
  RemoveVectoredExceptionHandler(handler);

  const MissingFunctionReport& report = missingFunctionReport;
  EXPECT_EQ(report.raised, 1);
  EXPECT_EQ(report.parameters, 1u);
  EXPECT_TRUE(report.byName);
  EXPECT_EQ(report.name, "napi_get_global");
  EXPECT_EQ(report.dll, "HostShim.dll");
  EXPECT_EQ(report.module, HostExecutable());
  // The call went on into the replacement, arguments intact.
  EXPECT_EQ(status, napi_generic_failure);
  EXPECT_EQ(replacementEnv, fakehost::Env());
  EXPECT_EQ(result, fakehost::TokenFor(0x610BA1));
  EXPECT_EQ(shim.LoadLibraryCalls(), 0);

  // Other functions are unaffected.
  napi_value boolean = nullptr;
  EXPECT_EQ(shim.Export<GetBoolean>("napi_get_boolean")(fakehost::Env(), true, &boolean), napi_ok);
  EXPECT_EQ(boolean, fakehost::TokenFor(1));
}

// A host may instead catch it with a handler of its own frame, as __try/__except would; the
// dispatcher then unwinds through the delay-load frames, the helper wrapper's included, to reach
// it. CallWithFrameHandler(function, env, result) calls function(env, result) in a frame whose
// handler is FrameHandler.
extern "C" napi_status CallWithFrameHandler(GetGlobal function, napi_env env, napi_value* result);
asm(R"(
    .text
    .p2align 4
    .globl CallWithFrameHandler
    .def CallWithFrameHandler; .scl 2; .type 32; .endef
    .seh_proc CallWithFrameHandler
CallWithFrameHandler:
    pushq %rbp
    .seh_pushreg %rbp
    subq $0x30, %rsp
    .seh_stackalloc 0x30
    .seh_endprologue
    .seh_handler FrameHandler, @except
    movq %rcx, %rax
    movq %rdx, %rcx
    movq %r8, %rdx
    call *%rax
    nop
    addq $0x30, %rsp
    popq %rbp
    ret
    .seh_endproc
)");

int frameHandlerCalls = 0;
std::string frameHandlerName;

extern "C" EXCEPTION_DISPOSITION FrameHandler(EXCEPTION_RECORD* record, void* /*frame*/,
                                              CONTEXT* /*context*/, void* /*dispatcher*/) {
  if (record->ExceptionCode != 0xC06D007F || (record->ExceptionFlags & EXCEPTION_UNWINDING) != 0 ||
      record->NumberParameters < 1) {
    return ExceptionContinueSearch;
  }
  ++frameHandlerCalls;
  auto* info = reinterpret_cast<DelayLoadInfo*>(record->ExceptionInformation[0]);
  if (info->dlp.fImportByName) frameHandlerName = info->dlp.szProcName;
  info->pfnCur = reinterpret_cast<FARPROC>(&ReplacementGetGlobal);
  return ExceptionContinueExecution;
}

TEST(HostShimForwarding, CalledMissingFunctionReachesTheCallersFrameHandler) {
  HostShimUnderTest& shim = HostShimUnderTest::Get();
  ASSERT_EQ(GetProcAddress(HostExecutable(), "napi_get_null"), nullptr);
  napi_value result = nullptr;
  const napi_status status =
      CallWithFrameHandler(shim.Export<GetGlobal>("napi_get_null"), fakehost::Env(), &result);
  EXPECT_EQ(frameHandlerCalls, 1);
  EXPECT_EQ(frameHandlerName, "napi_get_null");
  EXPECT_EQ(status, napi_generic_failure);
  EXPECT_EQ(result, fakehost::TokenFor(0x610BA1));
}

TEST(HostShimForwarding, OnlyCalledFunctionsAreLookedUp) {
  HostShimUnderTest& shim = HostShimUnderTest::Get();
  // This host lacks most of the 137; napi_run_script is one nobody calls.
  ASSERT_EQ(GetProcAddress(HostExecutable(), "napi_run_script"), nullptr);
  napi_value result = nullptr;
  ASSERT_EQ(shim.Export<GetBoolean>("napi_get_boolean")(fakehost::Env(), false, &result), napi_ok);
  EXPECT_EQ(result, fakehost::TokenFor(0));

  // Every lookup is of a function that some case of this program calls.
  const std::vector<std::string> called = {
      "napi_create_int32",  "napi_module_register", "napi_create_double",
      "napi_create_date",   "napi_get_boolean",     "napi_adjust_external_memory",
      "napi_create_uint32", "napi_get_global",      "napi_get_null"};
  for (const auto& lookup : shim.Lookups()) {
    EXPECT_NE(std::find(called.begin(), called.end(), lookup.name), called.end()) << lookup.name;
  }
  EXPECT_EQ(shim.LookupsOf("napi_run_script"), 0);
  EXPECT_EQ(shim.LookupsOf("napi_get_boolean"), 1);
}

}  // namespace
