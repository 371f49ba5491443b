// The few instructions that C++ cannot express, per architecture:
//  - __zeb_resume_trap(frame): an undefined instruction that the fault
//    handler recognises by its address; it resumes the thread with the
//    registers of the frame's CONTEXT (all of them, as only a return from a
//    signal handler can restore).
//  - __zeb_call_nested(code, chain, closure, pointers): calls a GNU C nested
//    function with its static chain, without the trampoline that the
//    compiler would have run on the stack.
//  - __zeb_fault_entry: where a fault enters the dispatcher, on the
//    faulting thread's stack.  Its unwind information says that every
//    register of the interrupted code is in the CONTEXT (whose address a
//    callee-saved register holds), as a signal frame's does: an unwinder
//    (a C++ exception thrown by a filter, a backtrace) goes on from here
//    into the faulting frame exactly.
#include "fault_frame.h"
#include "machine_stubs.h"

#include <stddef.h>

namespace {

using zeb::seh::FaultFrame;

// Offsets into the CONTEXT as two-byte signed LEB128, whatever their size.
constexpr int sleb_low(size_t offset) { return int(offset & 0x7F) | 0x80; }
constexpr int sleb_high(size_t offset) { return int(offset >> 7) & 0x7F; }
static_assert(sizeof(CONTEXT) < 8192, "two LEB128 bytes reach every register");

}  // namespace

// DW_CFA_def_cfa_expression: the interrupted stack pointer, read from the
// CONTEXT at `base` + offset.
#define CFA_FROM_CONTEXT(base_op, field)                                                          \
    __asm__ volatile(".cfi_escape 0x0f, 4, %c0, %c1, %c2, 0x06" ::"i"(base_op),                   \
                     "i"(sleb_low(offsetof(CONTEXT, field))), "i"(sleb_high(offsetof(CONTEXT, field))))
// DW_CFA_expression: register `reg` is saved in the CONTEXT at `base` + offset.
#define REGISTER_IN_CONTEXT(base_op, reg, field)                                                  \
    __asm__ volatile(".cfi_escape 0x10, %c0, 3, %c1, %c2, %c3" ::"i"(reg), "i"(base_op),          \
                     "i"(sleb_low(offsetof(CONTEXT, field))), "i"(sleb_high(offsetof(CONTEXT, field))))

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

// rbx holds the CONTEXT (DW_OP_breg3); the return address column (16) is
// the interrupted Rip.
extern "C" __attribute__((naked)) void __zeb_fault_entry() {
    constexpr int rbx = 0x73;
    __asm__ volatile(".cfi_signal_frame");
    CFA_FROM_CONTEXT(rbx, Rsp);
    REGISTER_IN_CONTEXT(rbx, 0, Rax);
    REGISTER_IN_CONTEXT(rbx, 1, Rdx);
    REGISTER_IN_CONTEXT(rbx, 2, Rcx);
    REGISTER_IN_CONTEXT(rbx, 3, Rbx);
    REGISTER_IN_CONTEXT(rbx, 4, Rsi);
    REGISTER_IN_CONTEXT(rbx, 5, Rdi);
    REGISTER_IN_CONTEXT(rbx, 6, Rbp);
    REGISTER_IN_CONTEXT(rbx, 8, R8);
    REGISTER_IN_CONTEXT(rbx, 9, R9);
    REGISTER_IN_CONTEXT(rbx, 10, R10);
    REGISTER_IN_CONTEXT(rbx, 11, R11);
    REGISTER_IN_CONTEXT(rbx, 12, R12);
    REGISTER_IN_CONTEXT(rbx, 13, R13);
    REGISTER_IN_CONTEXT(rbx, 14, R14);
    REGISTER_IN_CONTEXT(rbx, 15, R15);
    REGISTER_IN_CONTEXT(rbx, 16, Rip);
    // The frame is in rdi already; the stack is 16-byte aligned.
    __asm__ volatile("call __zeb_fault_dispatch\n\tud2");
}

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

// x19 holds the CONTEXT (DW_OP_breg19); the return address has a column of
// its own (96, beyond the registers), so that x30 keeps the interrupted
// value, as in the unwinder's own signal frames.
// GCC has no naked functions on AArch64; the body is assembly alone and
// uses no stack, so no prologue is written (checked with objdump).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
extern "C" __attribute__((naked)) void __zeb_fault_entry() {
    constexpr int x19 = 0x70 + 19;
    __asm__ volatile(".cfi_signal_frame\n\t.cfi_return_column 96");
    CFA_FROM_CONTEXT(x19, Sp);
    REGISTER_IN_CONTEXT(x19, 0, X0);
    REGISTER_IN_CONTEXT(x19, 1, X1);
    REGISTER_IN_CONTEXT(x19, 2, X2);
    REGISTER_IN_CONTEXT(x19, 3, X3);
    REGISTER_IN_CONTEXT(x19, 4, X4);
    REGISTER_IN_CONTEXT(x19, 5, X5);
    REGISTER_IN_CONTEXT(x19, 6, X6);
    REGISTER_IN_CONTEXT(x19, 7, X7);
    REGISTER_IN_CONTEXT(x19, 8, X8);
    REGISTER_IN_CONTEXT(x19, 9, X9);
    REGISTER_IN_CONTEXT(x19, 10, X10);
    REGISTER_IN_CONTEXT(x19, 11, X11);
    REGISTER_IN_CONTEXT(x19, 12, X12);
    REGISTER_IN_CONTEXT(x19, 13, X13);
    REGISTER_IN_CONTEXT(x19, 14, X14);
    REGISTER_IN_CONTEXT(x19, 15, X15);
    REGISTER_IN_CONTEXT(x19, 16, X16);
    REGISTER_IN_CONTEXT(x19, 17, X17);
    REGISTER_IN_CONTEXT(x19, 18, X18);
    REGISTER_IN_CONTEXT(x19, 19, X19);
    REGISTER_IN_CONTEXT(x19, 20, X20);
    REGISTER_IN_CONTEXT(x19, 21, X21);
    REGISTER_IN_CONTEXT(x19, 22, X22);
    REGISTER_IN_CONTEXT(x19, 23, X23);
    REGISTER_IN_CONTEXT(x19, 24, X24);
    REGISTER_IN_CONTEXT(x19, 25, X25);
    REGISTER_IN_CONTEXT(x19, 26, X26);
    REGISTER_IN_CONTEXT(x19, 27, X27);
    REGISTER_IN_CONTEXT(x19, 28, X28);
    REGISTER_IN_CONTEXT(x19, 29, Fp);
    REGISTER_IN_CONTEXT(x19, 30, Lr);
    // The callee-saved halves of the vector registers, d8-d15.
    REGISTER_IN_CONTEXT(x19, 72, V[8]);
    REGISTER_IN_CONTEXT(x19, 73, V[9]);
    REGISTER_IN_CONTEXT(x19, 74, V[10]);
    REGISTER_IN_CONTEXT(x19, 75, V[11]);
    REGISTER_IN_CONTEXT(x19, 76, V[12]);
    REGISTER_IN_CONTEXT(x19, 77, V[13]);
    REGISTER_IN_CONTEXT(x19, 78, V[14]);
    REGISTER_IN_CONTEXT(x19, 79, V[15]);
    REGISTER_IN_CONTEXT(x19, 96, Pc);
    // The frame is in x0 already; the stack is 16-byte aligned.
    __asm__ volatile("bl __zeb_fault_dispatch\n\tudf #0");
    __builtin_unreachable();
}
#pragma GCC diagnostic pop

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

@ r4 points at the interrupted r4-r15 (the frame's unwind_registers).  The
@ unwinding instructions: vsp = r4, pop {r4-r15}: popping sp and pc
@ restores the interrupted stack pointer and program counter.
    .globl __zeb_fault_entry
    .type __zeb_fault_entry, %function
    .thumb_func
__zeb_fault_entry:
    .fnstart
    .unwind_raw 0, 0x94, 0x8f, 0xff
    bl __zeb_fault_dispatch
    udf #0
    .fnend
    .size __zeb_fault_entry, .-__zeb_fault_entry
)");
#else
#error "no machine stubs for this architecture"
#endif
