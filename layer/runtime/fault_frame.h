// A fault on its way to the dispatcher: the record and the registers, put
// on the faulting thread's own stack below the interrupted frame.
#pragma once

#include "internal.h"

namespace zeb::seh {

struct alignas(64) FaultFrame {
    EXCEPTION_RECORD record;
    CONTEXT context;
#if defined(__arm__)
    // r0-r15 as the ARM unwinder pops them (from r4 on): the program
    // counter as a return address inside the faulting instruction, with
    // the Thumb bit.
    uint32_t unwind_registers[16];
#endif
};

}  // namespace zeb::seh

extern "C" {
// Entered with the frame in the first argument register and the CONTEXT's
// address in a callee-saved register, on the stack just below the frame
// (machine_stubs.cpp).  Its unwind information describes the interrupted
// state as the CONTEXT holds it, so an unwinder walks from the dispatcher
// into the faulting frame as though the faulting instruction had made a call.
[[noreturn]] void __zeb_fault_entry();
// What the entry calls: searches for a handler, then resumes (faults.cpp).
[[noreturn]] void __zeb_fault_dispatch(zeb::seh::FaultFrame *frame);
}
