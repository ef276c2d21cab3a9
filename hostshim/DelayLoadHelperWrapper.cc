// The delay-load tail that binutils' dlltool emits for x64 keeps rcx, rdx, r8 and r9 across the
// call to __delayLoadHelper2, but not xmm0-xmm3, and mingw-w64's helper zeroes xmm0 itself (as may
// GetProcAddress). A floating-point argument of an export's first call (napi_create_double,
// napi_create_date) would reach the host corrupted. The DLL is linked with
// --wrap=__delayLoadHelper2, so the tail calls this function, which keeps xmm0-xmm3 around the real
// helper.
//
// Frame: 0x68 bytes = 32 bytes of home space for the callee, 4 x 16 bytes for xmm0-xmm3 at 0x20,
// and 8 bytes so that rsp is 16-byte aligned at the call (it is 8 mod 16 on entry). The unwind data
// lets the 0xC06D007F exception that the helper raises for a missing function be dispatched through
// this frame.

asm(R"(
    .text
    .p2align 4
    .globl __wrap___delayLoadHelper2
    .def __wrap___delayLoadHelper2; .scl 2; .type 32; .endef
    .seh_proc __wrap___delayLoadHelper2
__wrap___delayLoadHelper2:
    subq $0x68, %rsp
    .seh_stackalloc 0x68
    .seh_endprologue
    movdqa %xmm0, 0x20(%rsp)
    movdqa %xmm1, 0x30(%rsp)
    movdqa %xmm2, 0x40(%rsp)
    movdqa %xmm3, 0x50(%rsp)
    call __real___delayLoadHelper2
    movdqa 0x20(%rsp), %xmm0
    movdqa 0x30(%rsp), %xmm1
    movdqa 0x40(%rsp), %xmm2
    movdqa 0x50(%rsp), %xmm3
    addq $0x68, %rsp
    ret
    .seh_endproc
)");
