// How a fault reaches the dispatcher on the faulting thread's stack: the
// architecture's FaultFrame (fault_frame.h), the entry it returns into and
// the dispatch the entry calls.
#pragma once

#include "fault_frame.h"

extern "C" {
// Entered with the frame in the first argument register and the CONTEXT's
// address in a callee-saved register, on the stack just below the frame
// (arch/<arch>/fault_entry).  Its unwind information describes the
// interrupted state as the CONTEXT holds it, so an unwinder walks from the
// dispatcher into the faulting frame as though the faulting instruction had
// made a call.
[[noreturn]] void __zeb_fault_entry();
// What the entry calls: searches for a handler, then resumes (faults.cpp).
[[noreturn]] void __zeb_fault_dispatch(zeb::seh::FaultFrame *frame);
}
