// The call into a native export with argument words known only at run time: 32-bit words on
// the machine stack (stdcall or cdecl) on x86, 64-bit words in registers and on the stack on x64.
#pragma once

#include <cstdint>

// One argument or result: a number, a pointer or a handle, as wide as a pointer.
using NativeWord = uintptr_t;

struct NativeCallResult {
    NativeWord value;    // the return register
    uint32_t lastError;  // GetLastError, read before anything else runs
    uint32_t repaired;   // 1 when the callee left the stack pointer elsewhere than expected (x86)
};

// Calls `address` with `count` words, words[0] first.
// x86: the words go on the stack, words[0] at the lowest address, as both conventions expect.
// When `callerCleans` (cdecl) the words are removed after the return; otherwise the callee
// removes them (stdcall). A callee of the other convention than stated, or a stdcall callee
// given fewer words than it takes, leaves the stack pointer off; the pointer is then put back
// where it was, so the caller survives.
// x64: there is one convention: the first four words in rcx, rdx, r8, r9, the rest on the stack
// above the callee's 32-byte shadow space, removed by the caller; `callerCleans` has no
// meaning and `repaired` is always 0, since the stack pointer is restored from the frame.
// On both, missing words read as 0: sixteen zero words lie above the arguments.
extern "C" void CallNativeWords(const void* address, const NativeWord* words, uint32_t count,
                                uint32_t callerCleans, NativeCallResult* result);
