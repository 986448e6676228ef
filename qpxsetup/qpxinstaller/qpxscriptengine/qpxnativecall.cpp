// The call into a native export, written in assembly: the compiler cannot pass a number of
// arguments known only at run time, nor promise that nothing runs before GetLastError.
#include "qpxnativecall.h"

#include <cstddef>

static_assert(offsetof(NativeCallResult, value) == 0 &&
                  offsetof(NativeCallResult, lastError) == sizeof(NativeWord) &&
                  offsetof(NativeCallResult, repaired) == sizeof(NativeWord) + 4,
              "the thunks below write the result at these offsets");

#if defined(__i386__)
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
#elif defined(__x86_64__)
// rcx address, rdx words, r8d count, r9d callerCleans (unused), 48(%rbp) result. rbx, rsi, rdi
// and r12 are kept by every callee: they carry the result pointer, the return value, the count
// and the address across the calls. The outgoing area holds max(count, 4) words, the first
// four of which are the shadow space, and sixteen zero words above them; it is 16-byte
// aligned at the call, and the stack pointer is taken back from the frame afterwards.
asm(R"(
    .text
    .globl CallNativeWords
CallNativeWords:
    pushq %rbp
    movq %rsp, %rbp
    pushq %rbx
    pushq %rsi
    pushq %rdi
    pushq %r12
    movq 48(%rbp), %rbx
    movq %rcx, %r12
    movq %rdx, %rsi
    movl %r8d, %edi
    movl %edi, %ecx
    cmpl $4, %ecx
    jae 0f
    movl $4, %ecx
0:  addl $16, %ecx
    leaq 0(,%rcx,8), %rax
    subq %rax, %rsp
    andq $-16, %rsp
1:  decl %ecx
    movq $0, (%rsp,%rcx,8)
    jnz 1b
    xorl %ecx, %ecx
2:  cmpl %edi, %ecx
    jae 3f
    movq (%rsi,%rcx,8), %rax
    movq %rax, (%rsp,%rcx,8)
    incl %ecx
    jmp 2b
3:  movq 0(%rsp), %rcx
    movq 8(%rsp), %rdx
    movq 16(%rsp), %r8
    movq 24(%rsp), %r9
    call *%r12
    movq %rax, %rsi
    leaq -32(%rbp), %rsp
    subq $32, %rsp
    call *__imp_GetLastError(%rip)
    movq %rsi, 0(%rbx)
    movl %eax, 8(%rbx)
    movl $0, 12(%rbx)
    leaq -32(%rbp), %rsp
    popq %r12
    popq %rdi
    popq %rsi
    popq %rbx
    popq %rbp
    ret
)");
#else
#error "the native call thunk is written for x86 and x64 only"
#endif
