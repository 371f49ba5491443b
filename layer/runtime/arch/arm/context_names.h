// 32-bit ARM's names for the registers that core/context_regs.h reads: the
// frame address is r11, as the unwinder and the platform's CONTEXT see it.
#pragma once

#include "seh_types.h"

namespace zeb::seh {

namespace context_names {
constexpr auto pc = &CONTEXT::Pc, sp = &CONTEXT::Sp, fp = &CONTEXT::R11;
}

// 32-bit ARM code has no one frame layout: the caller's frame pointer of a
// captured context is its stack pointer, as for a raised exception.
inline ULONG_PTR caller_frame_pointer(void *, ULONG_PTR caller_sp) { return caller_sp; }

}  // namespace zeb::seh
