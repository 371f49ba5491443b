// How the core dispatches an exception that a call raised, and carries out
// the unwind that follows an accepted exception or a long jump.
#pragma once

#include "core/internal.h"

namespace zeb::seh {

// The frame of the call that raised the exception being dispatched
// (RaiseException, a C++ throw); null for a fault.
extern __thread void *raise_origin;

// Dispatches an exception raised by the call whose frame is `frame`, at
// `address`: its CONTEXT holds that address and frame, and the frame is the
// origin of the unwind that follows (see dispatch_exception for the rest).
void dispatch_raised(EXCEPTION_RECORD *record, void *frame, void *address, const __seh_record *cxx_limit = nullptr,
                     bool cxx = false);

// Unwinds towards the goal from a call whose own frame is `origin` (null:
// unknown).  When every frame between it and the goal is known to hold
// nothing for the unwinder (no destructor to run), the record walk does it
// alone, as fast as a long jump.
[[noreturn]] void unwind_from(const __seh_unwind_goal &goal, void *origin);

// The unwind by the chain of records alone: each termination handler is
// entered through its landing pad.
[[noreturn]] void unwind_by_records(const __seh_unwind_goal &goal);

}  // namespace zeb::seh
