// What the run-time's files share and lowered code never sees.
#pragma once

#include "seh_runtime.h"
#define __ZEB_RUNTIME 1
#include <setjmp.h>
#include "seh_jmp_buf.h"
#include "core/context_regs.h"
#include "core/variant_hooks.h"

namespace zeb::seh {

// One exception search in progress on this thread.  A filter that raises
// starts another; the inner one knows the outer one through `outer`.
struct Dispatch {
    Dispatch *outer;
    __seh_record *start;     // chain head when the search began
    __seh_record *current;   // record whose filter is running
    unsigned long stamp;     // orders the search against setjmp calls
};

extern __thread Dispatch *active_dispatch;

// Searches for a handler, innermost first.  Returns only when a filter
// answered EXCEPTION_CONTINUE_EXECUTION for a continuable exception.
// A C++ exception (`cxx_limit` set) asks only the records before the limit
// (where a catch clause takes it; null: none does) and returns when none of
// them takes it.
void dispatch_exception(EXCEPTION_RECORD *record, CONTEXT *context, const __seh_record *cxx_limit = nullptr,
                        bool cxx = false);

// Raises STATUS_NONCONTINUABLE_EXCEPTION for an exception that a handler
// tried to continue but cannot be continued.
[[noreturn]] void raise_noncontinuable(EXCEPTION_RECORD *original);

// Calls a C filter, a GNU C nested function, given the address the
// compiler gave it (its trampoline).
int call_nested_filter(void *trampoline, EXCEPTION_POINTERS *pointers);

// Ends the process for an exception that no filter accepted.
[[noreturn]] void unhandled_exception(const EXCEPTION_RECORD *record);
// The exit status for an exception that ends the process.
int exit_status_for(DWORD code);

// True when `wanted` is `from` or an older record on its chain.
bool chain_reaches(const __seh_record *from, const __seh_record *wanted);

// Drop the searches whose filter frames an unwind to `target` abandons.
void abandon_searches_for_target(const __seh_record *target);
void abandon_searches_after(unsigned long stamp);

// Vectored handlers: true when one of them answered continue-execution.
bool vectored_handlers_continue(EXCEPTION_POINTERS *pointers);
// The top-level filter's verdict (EXCEPTION_CONTINUE_SEARCH when none).
int top_level_verdict(EXCEPTION_POINTERS *pointers);

// Process-wide: turns hardware faults into exceptions.
void install_fault_handlers();

// Thread's stack bounds, for telling a stack overflow from other faults.
struct StackBounds { uintptr_t low, high; };
StackBounds thread_stack_bounds();
// False while running on the alternate signal stack (or another stack).
bool on_thread_stack();
// The thread's alternate signal stack, and the inaccessible page below it
// (guard <= low); all zero when it has none.
struct AltStack { uintptr_t guard, low, high; };
AltStack thread_alt_stack();

}  // namespace zeb::seh
