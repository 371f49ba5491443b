// __zeb_fault_entry (faults/fault_entry.h): where a fault enters the
// dispatcher, on the faulting thread's stack.  Its unwind information says
// that every register of the interrupted code is in the CONTEXT (whose
// address a callee-saved register holds), as a signal frame's does: an
// unwinder (a C++ exception thrown by a filter, a backtrace) goes on from
// here into the faulting frame exactly.  A naked function, not assembly on
// its own, so that the CFI can name the CONTEXT's fields.
#include "cfi_in_context.h"
#include "faults/fault_entry.h"

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
