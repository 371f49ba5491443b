// A fault on its way to the dispatcher: the record and the registers, put
// on the faulting thread's own stack below the interrupted frame.
#pragma once

#include "core/internal.h"

namespace zeb::seh {

struct alignas(64) FaultFrame {
    EXCEPTION_RECORD record;
    CONTEXT context;
    // r0-r15 as the ARM unwinder pops them (from r4 on): the program
    // counter as a return address inside the faulting instruction, with
    // the Thumb bit.
    uint32_t unwind_registers[16];
};

}  // namespace zeb::seh
