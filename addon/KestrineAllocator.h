// Declarations of the allocator library, KestrineAllocator.dll, whose blocks hold RefString texts.
// The allocator stand-in in standins/ implements the same surface.
#pragma once

#include <cstdint>

// KESTRINE_ALLOCATOR_STATIC: the stand-in's code linked straight into a test program (the host build
// and the Windows unit tests), with no DLL between.
#if defined(KESTRINE_ALLOCATOR_STATIC) || !defined(_WIN32)
#define KESTRINE_ALLOCATOR_API
#elif defined(KESTRINE_ALLOCATOR_BUILDING_LIBRARY)
#define KESTRINE_ALLOCATOR_API __declspec(dllexport)
#else
#define KESTRINE_ALLOCATOR_API __declspec(dllimport)
#endif

extern "C" {
KESTRINE_ALLOCATOR_API void* kestrineAllocator_malloc(uint64_t size);
KESTRINE_ALLOCATOR_API void kestrineAllocator_free(void* block, uint64_t size);
// The header of the shared empty representation; owned by the library, never freed or written.
KESTRINE_ALLOCATOR_API void* kestrineAllocator_getNullRefBuffer();
}
