// The fast path of the layer's unwinds: when nothing between the unwind's
// origin and its goal needs the C++ unwinder, the record walk does the
// unwind alone.  How the frames in between are known to be plain is the
// unwinder's (arch/<arch>/fast_path.cpp, path_is_plain in cxx_bridge.h).
#pragma once

#include "core/internal.h"

#include <stdint.h>

namespace zeb::seh {

// The goal's own frame holds nothing for the unwinder between the call
// and the target: the target block's body, or the whole function that
// called setjmp, creates no object with a destructor.
bool goal_needs_nothing(const __seh_unwind_goal &goal);

// The frame address of the unwind's goal.
inline uintptr_t goal_frame(const __seh_unwind_goal &goal) {
    return uintptr_t(goal.jump ? goal.jump->frame : goal.target->frame);
}

}  // namespace zeb::seh
