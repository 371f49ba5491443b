// The registers that every architecture's CONTEXT has, under 32-bit ARM's own
// names.
#pragma once

#include "seh_types.h"

namespace zeb::seh {

inline auto &context_pc(CONTEXT &c) { return c.Pc; }
inline auto &context_sp(CONTEXT &c) { return c.Sp; }
inline auto &context_fp(CONTEXT &c) { return c.R11; }

// 32-bit ARM code has no one frame layout: the caller's frame pointer of a
// captured context is its stack pointer, as for a raised exception.
inline ULONG_PTR caller_frame_pointer(void *, ULONG_PTR caller_sp) { return caller_sp; }

}  // namespace zeb::seh
