// The C++ bridge: unwinds that run C++ destructors, and the C++ exceptions
// taken by try/except blocks.  What the core and the bridge's own files call.
#pragma once

#include "core/internal.h"

#include <stdint.h>
#include <unwind.h>

#include <typeinfo>

namespace zeb::seh {

// The frame pointer of the frame an unwinder context describes (the
// context's CFA is the stack pointer of its callee's frame, not its own).
// A guarded block's record holds its function's frame pointer.  Per
// architecture (arch/<arch>/frame_pointer_of.cpp).
uintptr_t frame_pointer_of(_Unwind_Context *context);

// The object of the C++ exception being handled (a catch clause is running).
void *current_exception_object();

// True when the frames from the caller of `origin` up to the goal's frame
// are all known (from earlier unwinds) to need nothing of the unwinder.
// Per unwinder: frame records and a cache of plain addresses on the DWARF
// targets, the unwind tables on 32-bit ARM.
bool path_is_plain(const __seh_unwind_goal &goal, void *origin);

// Carries the unwind out with the C++ unwinder; returns only when it could
// not start (the record walk then does it all).
void unwind_with_destructors(const __seh_unwind_goal &goal);

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
