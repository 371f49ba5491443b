// x86-64 and AArch64 code keeps frame records: a function's frame address
// points at its caller's frame pointer, then the return address.
#pragma once

#include "seh_types.h"

namespace zeb::seh {

// The caller's frame pointer, seen from a function whose own frame address
// is `frame`: kept at the bottom of that frame's record.
inline ULONG_PTR caller_frame_pointer(void *frame, ULONG_PTR) { return *static_cast<ULONG_PTR *>(frame); }

}  // namespace zeb::seh
