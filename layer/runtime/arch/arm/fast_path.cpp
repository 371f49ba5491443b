// The fast path on 32-bit ARM: Thumb-2 frames are not frame records, so
// they are walked by their unwind tables (thumb_frames.cpp); nothing is
// learnt from the unwinds that pass them.
#include "cxx/fast_path.h"

#include "cxx/cxx_bridge.h"
#include "cxx/unwinder_arch.h"
#include "ehabi.h"

namespace zeb::seh {

void learn_frame(_Unwind_Context *) {}

bool path_is_plain(const __seh_unwind_goal &goal, void *origin) {
    if (!origin) return false;
    return ehabi::path_is_plain(uintptr_t(origin), goal_frame(goal), goal_needs_nothing(goal));
}

}  // namespace zeb::seh
