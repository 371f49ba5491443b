// What the run-time calls where a variant run-time (layer/variants)
// breaks a behaviour with more than one line.  Each function is defined in
// its variant's own file, which only that variant compiles; in the default
// build every call stands behind a ZEB_VARIANT() that is constant 0.
#pragma once

#include "seh_variant_switch.h"
#include "seh_runtime.h"

namespace zeb::variant {

// The termination handler the unwind entered and is waiting for.
extern __thread const __seh_record *finally_running;
// True the first time the unwind meets this termination handler's record.
bool run_again(const __seh_record *r);
// Puts the outermost termination handler that the unwind will run in the
// head record's frame at the head of the chain, and returns the head.
__seh_record *outermost_finally_first(const __seh_unwind_goal &goal, __seh_record *head);
// Goes on with an exception's search after the termination handler that
// the search ran itself; returns for any other unwind.
void resume_search(const __seh_unwind_goal &goal);
// Runs a termination handler as the search passes it (never returns).
[[noreturn]] void unwind_during_search(__seh_record *r, EXCEPTION_RECORD *record);
// The record searched after `r` (first: null) when the search goes
// outermost first, from the outermost record to `start`.
__seh_record *search_after(__seh_record *start, __seh_record *r);
// Told of each C++ rethrow, before the C++ run-time rethrows.
void rethrowing();

}  // namespace zeb::variant
