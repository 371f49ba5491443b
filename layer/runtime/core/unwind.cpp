// The unwind (second phase) and the long jump: records are popped from the
// innermost on; each termination handler is entered through its landing pad,
// runs in its own frame, and calls back here to go on.
#include "core/raise_and_unwind.h"
#include "cxx/cxx_bridge.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

[[noreturn]] void arrive(const __seh_unwind_goal &goal) {
    zeb::seh::release_pending_cxx_object();
    if (!goal.jump && !goal.target) {   // the start-up's handler: end the process
        fflush(stdout);
        _exit(goal.value);
    }
    if (goal.jump) {
        __seh_head = goal.jump->chain;
        _longjmp(goal.jump->native, goal.value);
    }
    __seh_head = goal.target->prev;
    __builtin_longjmp(goal.target->landing, 1);
}

// A long jump may go back into guarded blocks that are active again at its
// target; it stops at the first record the target's chain still holds.
bool reached(const __seh_unwind_goal &goal, const __seh_record *r) {
    if (goal.jump) return r == nullptr || zeb::seh::chain_reaches(goal.jump->chain, r);
    return r == goal.target;   // null: past every guarded block
}

}  // namespace

extern "C" __attribute__((noinline)) void __seh_unwind(const __seh_unwind_goal *where) {
    zeb::seh::unwind_from(*where, __builtin_frame_address(0));
}

void zeb::seh::unwind_from(const __seh_unwind_goal &where, void *origin) {
    const __seh_unwind_goal goal = where;
    if (ZEB_VARIANT(ONE_PHASE_DISPATCH)) zeb::variant::resume_search(goal);
    if (ZEB_VARIANT(FINALLY_EXCEPTION_LOST)) zeb::variant::finally_running = nullptr;
    if ((goal.target || goal.jump) && !path_is_plain(goal, origin)) unwind_with_destructors(goal);
    unwind_by_records(goal);
}

void zeb::seh::unwind_by_records(const __seh_unwind_goal &goal) {
    for (;;) {
        __seh_record *r = __seh_head;
        if (reached(goal, r)) arrive(goal);
        if (!r) {
            fputs("zeb: exception unwind lost its target\n", stderr);
            abort();
        }
        if (ZEB_VARIANT(FINALLY_OUTERMOST_FIRST)) r = zeb::variant::outermost_finally_first(goal, r);
        if (!(ZEB_VARIANT(FINALLY_RUN_TWICE) && zeb::variant::run_again(r))) __seh_head = r->prev;
        if (r->kind == __SEH_FINALLY && !(ZEB_VARIANT(SKIP_FINALLY_ON_UNWIND) && !goal.jump) &&
            !(ZEB_VARIANT(LONGJMP_SKIPS_FINALLY) && goal.jump)) {
            r->goal = goal;
            if (ZEB_VARIANT(FINALLY_EXCEPTION_LOST)) zeb::variant::finally_running = r;
            __builtin_longjmp(r->landing, 1);
        }
    }
}

extern "C" __attribute__((noinline)) void __seh_longjmp(__seh_jmp_buf_tag *env, int value) {
    zeb::seh::abandon_searches_after(env->stamp);
    __seh_unwind_goal goal = {nullptr, env, value ? value : 1};
    zeb::seh::unwind_from(goal, __builtin_frame_address(0));
}
