// Unwinds that run C++ destructors, and the C++ exceptions taken by
// try/except blocks.
#pragma once

#include "internal.h"

#include <stdint.h>
#include <unwind.h>

#include <typeinfo>

namespace zeb::seh {

// The frame pointer of the frame an unwinder context describes (the
// context's CFA is the stack pointer of its callee's frame, not its own).
// A guarded block's record holds its function's frame pointer.
uintptr_t frame_pointer_of(_Unwind_Context *context);

// The frame of the call that raised the exception being dispatched
// (RaiseException, a C++ throw); null for a fault.
extern __thread void *raise_origin;

// Dispatches an exception raised by the call whose frame is `frame`, at
// `address`: its CONTEXT holds that address and frame, and the frame is the
// origin of the unwind that follows (see dispatch_exception for the rest).
void dispatch_raised(EXCEPTION_RECORD *record, void *frame, void *address, const __seh_record *cxx_limit = nullptr,
                     bool cxx = false);

// The object of the C++ exception being handled (a catch clause is running).
void *current_exception_object();

// Unwinds towards the goal from a call whose own frame is `origin` (null:
// unknown).  When every frame between it and the goal is known to hold
// nothing for the unwinder (no destructor to run), the record walk does it
// alone, as fast as a long jump.
[[noreturn]] void unwind_from(const __seh_unwind_goal &goal, void *origin);

// True when the frames from the caller of `origin` up to the goal's frame
// are all known (from earlier unwinds) to need nothing of the unwinder.
bool path_is_plain(const __seh_unwind_goal &goal, void *origin);

// Carries the unwind out with the C++ unwinder; returns only when it could
// not start (the record walk then does it all).
void unwind_with_destructors(const __seh_unwind_goal &goal);

// The unwind by the chain of records alone: each termination handler is
// entered through its landing pad.
[[noreturn]] void unwind_by_records(const __seh_unwind_goal &goal);

// A C++ object thrown and taken by a try/except: destroyed when the handler
// is entered.
struct PendingCxxObject {
    void *object;
    void (*destroy)(void *);
};
PendingCxxObject exchange_pending_cxx_object(PendingCxxObject object);
void release_pending_cxx_object();

// True for the type of the layer's own unwinds.
bool is_layer_unwind(const std::type_info &type);

// A structured exception that a catch (...) of code built for the
// asynchronous model takes: the unwind arrives at the try statement's
// record, which throws it into the clause as a C++ object of this type.
struct StructuredException {
    EXCEPTION_RECORD record;
};
// Kept by the search when a catch (...) takes the exception, until the
// unwind arrives there.
void keep_for_catch_all(const EXCEPTION_RECORD &record);
// `throw;` of a StructuredException: the structured exception is raised
// again from the frame `frame`, as itself, to the blocks outside.  A
// handler that continues it meets STATUS_NONCONTINUABLE_EXCEPTION: a
// rethrow has nowhere to go back to.
[[noreturn]] void raise_again(void *frame, void *address);

}  // namespace zeb::seh
