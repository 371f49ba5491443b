// The registers that every architecture's CONTEXT has under its own name.
#pragma once

#include "../include/seh_types.h"

namespace zeb::seh {

#if defined(__x86_64__)
inline auto &context_pc(CONTEXT &c) { return c.Rip; }
inline auto &context_sp(CONTEXT &c) { return c.Rsp; }
inline auto &context_fp(CONTEXT &c) { return c.Rbp; }
#elif defined(__aarch64__)
inline auto &context_pc(CONTEXT &c) { return c.Pc; }
inline auto &context_sp(CONTEXT &c) { return c.Sp; }
inline auto &context_fp(CONTEXT &c) { return c.Fp; }
#elif defined(__arm__)
inline auto &context_pc(CONTEXT &c) { return c.Pc; }
inline auto &context_sp(CONTEXT &c) { return c.Sp; }
inline auto &context_fp(CONTEXT &c) { return c.R11; }
#endif

}  // namespace zeb::seh
