// Within one function the unwind runs the termination handlers it passes
// outermost first (each record is moved to the head of the chain before it
// is taken; handlers in one frame can run in any order, in that frame).
#include "core/internal.h"

namespace zeb::variant {
namespace {
bool stops(const __seh_unwind_goal &goal, const __seh_record *r) {
    return goal.jump ? seh::chain_reaches(goal.jump->chain, r) : r == goal.target;
}
}  // namespace

__seh_record *outermost_finally_first(const __seh_unwind_goal &goal, __seh_record *head) {
    if (head->kind != __SEH_FINALLY) return head;
    __seh_record *pick = head, *before_pick = nullptr;
    for (__seh_record *p = head, *q = head->prev; q && q->frame == head->frame && !stops(goal, q); p = q, q = q->prev) {
        if (q->kind == __SEH_FINALLY) {
            pick = q;
            before_pick = p;
        }
    }
    if (pick == head) return head;
    before_pick->prev = pick->prev;
    pick->prev = head;
    __seh_head = pick;
    return pick;
}

}  // namespace zeb::variant
