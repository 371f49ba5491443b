// The search for a handler (first phase): filters are called innermost
// first, across calls, while every frame below them is still alive.  No
// termination handler runs during the search.
#include "core/raise_and_unwind.h"
#include "cxx/cxx_bridge.h"

namespace zeb::seh {

void raise_noncontinuable(EXCEPTION_RECORD *original) {
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = STATUS_NONCONTINUABLE_EXCEPTION;
    record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
    record.ExceptionRecord = original;
    record.ExceptionAddress = original->ExceptionAddress;
    CONTEXT context = {};
    for (;;) dispatch_exception(&record, &context);
}

namespace {

// Pops the search off the thread's list however the search ends: by
// returning, by an unwind (which pops it first), or by a C++ exception
// thrown out of a filter.
struct ActiveSearch {
    Dispatch *search;
    ~ActiveSearch() {
        if (active_dispatch == search) active_dispatch = search->outer;
    }
};

}  // namespace

// A search survives an unwind only when the unwind's target was pushed
// during that search's filter (a guarded block inside the filter, or in a
// function it calls): those records lie above where the search started.
// Any other target, even one the search had already passed, is further up
// the stack than the filter, whose frames the unwind abandons.
static bool pushed_during_filter(const __seh_record *target, const Dispatch *search) {
    if (!target) return false;
    if (!search->start) return true;
    return target != search->start && chain_reaches(target, search->start);
}

void abandon_searches_for_target(const __seh_record *target) {
    while (active_dispatch && !pushed_during_filter(target, active_dispatch))
        active_dispatch = active_dispatch->outer;
}

void abandon_searches_after(unsigned long stamp) {
    while (active_dispatch && active_dispatch->stamp > stamp)
        active_dispatch = active_dispatch->outer;
}

void dispatch_exception(EXCEPTION_RECORD *record, CONTEXT *context, const __seh_record *cxx_limit, bool cxx) {
    if (ZEB_VARIANT(WRONG_FAULT_CODE) && record->NumberParameters == 2 && record->ExceptionCode == STATUS_ACCESS_VIOLATION)
        record->ExceptionCode = STATUS_IN_PAGE_ERROR;
    if (ZEB_VARIANT(WRONG_RECORD_FIELDS)) record->ExceptionAddress = nullptr, record->NumberParameters = 0;
    void *const origin = raise_origin;
    Dispatch search = {active_dispatch, __seh_head, nullptr, ++__seh_clock};
    active_dispatch = &search;
    ActiveSearch pop_on_exit{&search};

    const DWORD flags = record->ExceptionFlags & ~DWORD(EXCEPTION_NESTED_CALL);
    EXCEPTION_POINTERS pointers = {record, context};
    if (vectored_handlers_continue(&pointers)) {
        active_dispatch = search.outer;
        return;
    }
    // A search that runs into the start of an outer search (the exception
    // was raised inside one of its filters) goes on through the records that
    // search already passed, with EXCEPTION_NESTED_CALL set, up to and
    // including the frame whose filter raised; beyond that frame the flag is
    // clear again.  Records the filter itself pushed see it clear.
    Dispatch *boundary = search.outer;
    const __seh_record *nested_until = nullptr;
    bool in_nested_frame = false;

    const bool outermost_first = ZEB_VARIANT(SEARCH_OUTERMOST_FIRST);
    for (__seh_record *r = outermost_first ? zeb::variant::search_after(search.start, nullptr) : search.start;
         r && !(cxx && r == cxx_limit);
         r = outermost_first ? zeb::variant::search_after(search.start, r) : r->prev) {
        for (; boundary && r == boundary->start; boundary = boundary->outer) {
            if (boundary->current && (!nested_until || chain_reaches(nested_until, boundary->current)))
                nested_until = boundary->current;
        }
        if (nested_until) {
            if (r->frame == nested_until->frame) {
                in_nested_frame = true;
            } else if (in_nested_frame && !ZEB_VARIANT(NESTED_FLAG_KEPT_SET)) {
                nested_until = nullptr;
                in_nested_frame = false;
            }
        }
        record->ExceptionFlags = flags | (nested_until && !ZEB_VARIANT(NESTED_FLAG_NEVER_SET) ? EXCEPTION_NESTED_CALL : 0);
        if (ZEB_VARIANT(ONE_PHASE_DISPATCH) && r->kind == __SEH_FINALLY) zeb::variant::unwind_during_search(r, record);
        if (r->kind == __SEH_CATCH_ALL) {
            // A C++ exception is the C++ run-time's to give to the clause.
            if (cxx) break;
            active_dispatch = search.outer;
            abandon_searches_for_target(r);
            r->code = record->ExceptionCode;
            keep_for_catch_all(*record);
            __seh_unwind_goal goal = {r, nullptr, 0};
            unwind_from(goal, origin);
        }
        if (r->kind != __SEH_EXCEPT) continue;

        search.current = r;
        int verdict = r->filter ? r->filter(r->closure, &pointers) : call_nested_filter(r->closure, &pointers);
        search.current = nullptr;
        if (ZEB_VARIANT(CONTINUE_EXECUTION_IGNORED) && verdict < 0) verdict = EXCEPTION_EXECUTE_HANDLER;

        if (verdict < 0) {  // EXCEPTION_CONTINUE_EXECUTION
            active_dispatch = search.outer;
            if ((record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) && !ZEB_VARIANT(NONCONTINUABLE_CONTINUED))
                raise_noncontinuable(record);
            return;
        }
        if (verdict > 0) {  // EXCEPTION_EXECUTE_HANDLER
            active_dispatch = search.outer;
            abandon_searches_for_target(r);
            r->code = record->ExceptionCode;
            __seh_unwind_goal goal = {r, nullptr, 0};
            unwind_from(goal, origin);
        }
    }
    active_dispatch = search.outer;
    record->ExceptionFlags = flags;
    if (cxx) return;
    switch (top_level_verdict(&pointers)) {
    case EXCEPTION_CONTINUE_EXECUTION:
        if (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) raise_noncontinuable(record);
        return;
    case EXCEPTION_EXECUTE_HANDLER: {
        // The top-level filter took it: as the start-up's own handler, it is
        // reached by an ordinary unwind (every pending termination handler
        // runs), then the process ends with the code as its status.
        abandon_searches_for_target(nullptr);
        __seh_unwind_goal goal = {nullptr, nullptr, exit_status_for(record->ExceptionCode)};
        __seh_unwind(&goal);
    }
    default:
        unhandled_exception(record);
    }
}

}  // namespace zeb::seh
