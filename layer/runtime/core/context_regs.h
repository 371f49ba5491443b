// The registers that every architecture's CONTEXT has under its own name
// (context_names.h of the target's architecture folder), and the caller's
// frame pointer of a captured context.
#pragma once

#include "context_names.h"

namespace zeb::seh {

inline auto &context_pc(CONTEXT &c) { return c.*context_names::pc; }
inline auto &context_sp(CONTEXT &c) { return c.*context_names::sp; }
inline auto &context_fp(CONTEXT &c) { return c.*context_names::fp; }

}  // namespace zeb::seh
