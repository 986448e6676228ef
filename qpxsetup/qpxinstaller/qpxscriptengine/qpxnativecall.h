// The call into a native export: 32-bit argument words on the machine stack, stdcall or cdecl.
#pragma once

#include <cstdint>

struct NativeCallResult {
    uint32_t value;      // the return register
    uint32_t lastError;  // GetLastError, read before anything else runs
    uint32_t repaired;   // 1 when the callee left the stack pointer elsewhere than expected
};

// Calls `address` with `count` words, words[0] at the lowest address as both conventions
// expect. When `callerCleans` (cdecl) the words are removed after the return; otherwise the
// callee removes them (stdcall). A callee of the other convention than stated, or a stdcall
// callee given fewer words than it takes, leaves the stack pointer off; the pointer is then
// put back where it was, so the caller survives. Missing words read as 0.
extern "C" void __cdecl CallNativeWords(const void* address, const uint32_t* words, uint32_t count,
                                        uint32_t callerCleans, NativeCallResult* result);
