// What the fast path knows of an unwind's goal whatever the unwinder.
#include "cxx/fast_path.h"

namespace zeb::seh {

bool goal_needs_nothing(const __seh_unwind_goal &goal) {
    if (goal.jump) return goal.jump->frame_without_destructors;
    return goal.target && (goal.target->flags & __SEH_NO_DESTRUCTORS);
}

}  // namespace zeb::seh
