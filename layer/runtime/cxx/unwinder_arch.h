// What the C++ bridge asks of the target's unwinder, which differs between
// the DWARF unwinders (x86-64, AArch64: arch/dwarf) and the ARM unwinder
// (EHABI: arch/arm).
#pragma once

#include <stdint.h>
#include <unwind.h>

namespace zeb::seh {

// Binds `object` as what a catch clause receives: the C++ ABI's
// adjustedPtr, just before the unwinder's header; EHABI's barrier cache.
// The personality leaves it to the thrower in a forced unwind.
void set_caught_object(_Unwind_Exception *exception, void *object);

// The forced unwind leaves the unwinder's hands at the frame being left.
void leave_unwinder(_Unwind_Exception *exception);

// The stop function meets a frame: the fast path learns from it.
void learn_frame(_Unwind_Context *context);

// True when the stop function must hand the unwind over at this frame
// because its personality would call terminate.  (EHABI calls the
// personality before the stop function: the wrapper asks there instead.)
bool terminate_before_personality(_Unwind_Context *context);

// The search for the catch clause that would take a throw: whether the
// backtrace's frame is the throw wrapper's own (or below it), and whether
// the frame has the catch clause that would stop `exception`.
bool is_wrapper_frame(_Unwind_Context *context, uintptr_t thrower);
bool frame_catches(_Unwind_Context *context, _Unwind_Exception *exception);

}  // namespace zeb::seh
