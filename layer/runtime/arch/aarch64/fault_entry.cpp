// __zeb_fault_entry (faults/fault_entry.h): where a fault enters the
// dispatcher, on the faulting thread's stack.  Its unwind information says
// that every register of the interrupted code is in the CONTEXT (whose
// address a callee-saved register holds), as a signal frame's does: an
// unwinder (a C++ exception thrown by a filter, a backtrace) goes on from
// here into the faulting frame exactly.  A naked function, not assembly on
// its own, so that the CFI can name the CONTEXT's fields.
#include "cfi_in_context.h"
#include "faults/fault_entry.h"

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
