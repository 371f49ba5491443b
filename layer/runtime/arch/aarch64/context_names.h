// AArch64's names for the registers that core/context_regs.h reads: the
// frame pointer is x29.
#pragma once

#include "frame_records.h"
#include "seh_types.h"

namespace zeb::seh::context_names {
constexpr auto pc = &CONTEXT::Pc, sp = &CONTEXT::Sp, fp = &CONTEXT::Fp;
}  // namespace zeb::seh::context_names
