// The call into a native export, written in assembly: the compiler cannot push a number of
// arguments known only at run time, nor promise that nothing runs before GetLastError.
#include "qpxnativecall.h"

#include <cstddef>

static_assert(offsetof(NativeCallResult, value) == 0 && offsetof(NativeCallResult, lastError) == 4 &&
                  offsetof(NativeCallResult, repaired) == 8,
              "the thunk below writes the result at these offsets");

// Frame: 8 address, 12 words, 16 count, 20 callerCleans, 24 result. ebx, esi and edi are kept
// by every callee, so they carry the stack pointer and the return value across the calls.
// Sixteen zero words lie above the arguments: a callee that takes more arguments than the
// script gave reads zeros and writes into them, never into this frame.
asm(R"(
    .text
    .globl _CallNativeWords
_CallNativeWords:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl %esp, %edi
    movl $16, %ecx
0:  pushl $0
    decl %ecx
    jnz 0b
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  call *8(%ebp)
    cmpl $0, 20(%ebp)
    je 3f
    movl 16(%ebp), %ecx
    leal (%esp,%ecx,4), %esp
3:  movl %eax, %ebx
    xorl %esi, %esi
    leal -64(%edi), %ecx
    cmpl %ecx, %esp
    je 4f
    movl $1, %esi
4:  movl %edi, %esp
    call *__imp__GetLastError@0
    movl 24(%ebp), %ecx
    movl %ebx, 0(%ecx)
    movl %eax, 4(%ecx)
    movl %esi, 8(%ecx)
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");
