// The few instructions that C++ cannot express, per architecture:
//  - __zeb_resume_trap(frame): an undefined instruction that the fault
//    handler recognises by its address; it resumes the thread with the
//    registers of the frame's CONTEXT (all of them, as only a return from a
//    signal handler can restore).
//  - __zeb_call_nested(code, chain, closure, pointers): calls a GNU C nested
//    function with its static chain, without the trampoline that the
//    compiler would have run on the stack.
#include "machine_stubs.h"

#if defined(__x86_64__)
asm(R"(
    .text
    .globl __zeb_resume_trap
    .type __zeb_resume_trap, @function
__zeb_resume_trap:
    ud2
    .size __zeb_resume_trap, .-__zeb_resume_trap

    .globl __zeb_call_nested
    .type __zeb_call_nested, @function
__zeb_call_nested:
    mov %rdi, %rax
    mov %rsi, %r10
    mov %rdx, %rdi
    mov %rcx, %rsi
    jmp *%rax
    .size __zeb_call_nested, .-__zeb_call_nested
)");
#elif defined(__aarch64__)
asm(R"(
    .text
    .globl __zeb_resume_trap
    .type __zeb_resume_trap, %function
__zeb_resume_trap:
    udf #0
    .size __zeb_resume_trap, .-__zeb_resume_trap

    .globl __zeb_call_nested
    .type __zeb_call_nested, %function
__zeb_call_nested:
    mov x16, x0
    mov x18, x1
    mov x0, x2
    mov x1, x3
    br x16
    .size __zeb_call_nested, .-__zeb_call_nested
)");
#elif defined(__arm__)
asm(R"(
    .text
    .syntax unified
    .thumb
    .globl __zeb_resume_trap
    .type __zeb_resume_trap, %function
    .thumb_func
__zeb_resume_trap:
    udf #0
    .size __zeb_resume_trap, .-__zeb_resume_trap

    .globl __zeb_call_nested
    .type __zeb_call_nested, %function
    .thumb_func
__zeb_call_nested:
    mov ip, r1
    mov r1, r3
    mov r3, r0
    mov r0, r2
    bx r3
    .size __zeb_call_nested, .-__zeb_call_nested
)");
#else
#error "no machine stubs for this architecture"
#endif
