// The registers that every architecture's CONTEXT has, under AArch64's own
// names.
#pragma once

#include "seh_types.h"

namespace zeb::seh {

inline auto &context_pc(CONTEXT &c) { return c.Pc; }
inline auto &context_sp(CONTEXT &c) { return c.Sp; }
inline auto &context_fp(CONTEXT &c) { return c.Fp; }

// The caller's frame pointer, seen from a function whose own frame address
// is `frame`: kept at the bottom of that frame's record.
inline ULONG_PTR caller_frame_pointer(void *frame, ULONG_PTR) { return *static_cast<ULONG_PTR *>(frame); }

}  // namespace zeb::seh
