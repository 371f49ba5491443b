// x86-64's names for the registers that core/context_regs.h reads.
#pragma once

#include "frame_records.h"
#include "seh_types.h"

namespace zeb::seh::context_names {
constexpr auto pc = &CONTEXT::Rip;
constexpr auto sp = &CONTEXT::Rsp;
constexpr auto fp = &CONTEXT::Rbp;
}  // namespace zeb::seh::context_names
