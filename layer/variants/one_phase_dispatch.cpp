// One-phase dispatch: the search itself enters each termination handler it
// passes, abandoning the frames below, and starts again from that handler's
// frame once the handler has run.
#include "core/internal.h"

namespace zeb::variant {
namespace {
__thread EXCEPTION_RECORD pending;
// The goal a termination handler run by the search hands back.
__seh_record go_on_searching;
}  // namespace

void unwind_during_search(__seh_record *r, EXCEPTION_RECORD *record) {
    pending = *record;
    pending.ExceptionFlags &= ~DWORD(EXCEPTION_NESTED_CALL);
    seh::active_dispatch = seh::active_dispatch->outer;
    __seh_head = r->prev;
    r->goal = {&go_on_searching, nullptr, 0};
    __builtin_longjmp(r->landing, 1);
}

void resume_search(const __seh_unwind_goal &goal) {
    if (goal.target != &go_on_searching) return;
    EXCEPTION_RECORD record = pending;
    CONTEXT context = {};
    seh::dispatch_exception(&record, &context);
    // Nothing is left to continue: the raising frame is gone.
    for (;;) RaiseException(STATUS_NONCONTINUABLE_EXCEPTION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

}  // namespace zeb::variant
